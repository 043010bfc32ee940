// The dialog programs' console form: a message box is one line on standard error ("caption: text"),
// the edit box is standard output. Texts are UTF-8.
#pragma once

#include <cstdio>
#include <string>

namespace norvale::app {

inline constexpr const char* kCaption = "讯息";
inline constexpr const char* kDecodeFailure = "解码失败";
inline constexpr const char* kOpenFailure = "无法打开文件";

// Exit statuses of both programs.
inline constexpr int kExitDecoded = 0;
inline constexpr int kExitDecodeFailed = 1;
inline constexpr int kExitOpenFailed = 2;

// One message box as its line of text: caption, colon, space, text, newline.
inline std::string MessageLine(const std::string& text)
{
    return std::string(kCaption) + ": " + text + "\n";
}

inline void ShowMessage(const std::string& text)
{
    std::fputs(MessageLine(text).c_str(), stderr);
}

// The open test of the load buttons: the file must open for binary reading; it is closed again
// at once (it only proves the file is readable).
inline bool CanOpenForReading(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        ShowMessage(std::string(kOpenFailure) + path);
        return false;
    }
    std::fclose(file);
    return true;
}

// Shows the decoded text (up to its first NUL) in the "edit box".
inline void ShowText(const char* text)
{
    std::printf("%s\n", text);
}

} // namespace norvale::app
