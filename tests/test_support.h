// Helpers shared by the tests: where the fixture pictures live, and a PNG loader that does not
// depend on the library's own readers (so each stage can be tested on real pictures alone).
#pragma once

#include <string>

#include "image/gray_image.h"

namespace norvale::test {

// Absolute path of a file under tests/data.
std::string TestDataPath(const std::string& relative);

// Loads a PNG into `image` the way the readers store pictures: bottom row first, grey by the
// library's luma weights. The planes are malloc'd; release them with FreeTestPicture.
bool LoadTestPicture(GrayImage& image, const std::string& path);
void FreeTestPicture(GrayImage& image);

}  // namespace norvale::test
