// Helpers shared by the tests: where the fixture pictures live.
#pragma once

#include <string>

namespace norvale::test {

// Absolute path of a file under tests/data.
std::string TestDataPath(const std::string& relative);

}  // namespace norvale::test
