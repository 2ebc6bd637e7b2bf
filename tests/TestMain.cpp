// The unit tests' entry point. ctest runs one test per process by name,
// from a list taken when the tests were last discovered; the vector and
// corpus tests are named after files in the shared folder. A run whose name
// matches nothing must not look like a pass: a data-driven test whose files
// have gone since the list was taken reports a skip, any other a failure.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

namespace {

bool namesSharedData(const std::string& filter) {
  return filter.starts_with("Vectors/") || filter.starts_with("Corpus/");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  const std::string filter = GTEST_FLAG_GET(filter);
  if (status != 0 || ::testing::UnitTest::GetInstance()->test_to_run_count() != 0 || filter == "*") return status;
  if (namesSharedData(filter)) {
    std::cout << "[  SKIPPED ] " << filter << ": the shared vectors or corpus it was listed from are absent\n";
    return 0;
  }
  std::cout << "No test matches " << filter << ": the test list is out of date\n";
  return 1;
}
