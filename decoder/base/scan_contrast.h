// Scan contrast: the contrast model a scan line learns and every stage after it reads grey values
// through. The one definition of a contrast level and of ink.
#pragma once

#include <cstdint>

namespace norvale {

// Contrast model of one pass over a scan line; copied whole into every symbol candidate.
// The contrast level of grey g is (g - contrastReference) when contrastSign > 0, else
// (contrastReference - g), so the first edge of a pass always rises from level 0.
struct ScanContrast
{
    uint8_t edgeSeen;
    float minLevel;
    float maxLevel;
    float inkThreshold; // (maxLevel + minLevel) / 2
    float contrastReference;
    float contrastSign;
    float currentGray;
    float previousGray;
};

// The contrast level as a line in the grey value: level = scale * grey + offset, scale +-1.
// Scaling by +-1 is exact, so this is the same float as grey - reference (or the reverse).
struct LevelLine
{
    float scale;
    float offset;
};

constexpr LevelLine LevelLineOf(float reference, float sign)
{
    return LevelLine{sign > 0.0f ? 1.0f : -1.0f, sign > 0.0f ? -reference : reference};
}

constexpr float LevelOf(const LevelLine& line, float gray)
{
    return line.scale * gray + line.offset;
}

// Contrast level of grey g under a model.
constexpr float ContrastLevel(const ScanContrast& contrast, float gray)
{
    return LevelOf(LevelLineOf(contrast.contrastReference, contrast.contrastSign), gray);
}

// Ink: a contrast level above the model's threshold.
constexpr bool IsInk(const ScanContrast& contrast, float gray)
{
    return ContrastLevel(contrast, gray) > contrast.inkThreshold;
}

// The model's ink threshold as a grey value.
constexpr float GreyThreshold(const ScanContrast& contrast)
{
    return contrast.contrastReference + contrast.contrastSign * contrast.inkThreshold;
}

} // namespace norvale
