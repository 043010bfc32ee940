#include "test_support.h"

namespace norvale::test {

std::string TestDataPath(const std::string& relative) { return std::string(NORVALE_TEST_DATA_DIR) + "/" + relative; }

}  // namespace norvale::test
