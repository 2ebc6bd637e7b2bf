// The team's conformance vectors: exact encoder output, exact decoder output
// or the exact refusal. Skipped when the shared folder is absent.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "TestSupport.h"
#include "common/Sha256.h"

namespace qola::test {
namespace {

using Row = std::map<std::string, std::string>;

// Without the table, one row that only says why the suite is skipped.
std::vector<Row> readTable(const std::string& relative) {
  std::ifstream file;
  if (const auto shared = sharedDir()) file.open(*shared / "vectors" / relative);
  if (!file.is_open()) return {Row{{"name", "skipped"}, {"missing", "../shared/vectors/" + relative}}};
  std::vector<Row> rows;
  std::vector<std::string> columns;
  for (std::string line; std::getline(file, line);) {
    std::stringstream stream(line);
    Row row;
    std::size_t i = 0;
    for (std::string field; std::getline(stream, field, '\t'); ++i) {
      if (columns.size() < i + 1) columns.push_back(field);
      row[columns[i]] = field;
    }
    if (row.at("name") != "name") rows.push_back(row);
  }
  return rows;
}

Bytes vectorFile(const std::string& folder, const std::string& file) {
  return readFile(*sharedDir() / "vectors" / folder / file);
}

class EncodeVector : public ::testing::TestWithParam<Row> {};
class DecodeVector : public ::testing::TestWithParam<Row> {};

TEST_P(EncodeVector, CompressesToTheExactFileAndRestoresTheInput) {
  const Row& row = GetParam();
  if (row.contains("missing")) GTEST_SKIP() << "no conformance vectors: " << row.at("missing") << " is absent";
  CodecSettings settings;
  settings.channelCount = std::stoi(row.at("channels"));
  settings.sampleBits = std::stoi(row.at("bits"));
  settings.blockLengthIndex = blockLengthIndexOf(std::stoi(row.at("block")));
  const std::string& level = row.at("adaptation");
  settings.adaptation = level == "none"     ? Adaptation::None
                        : level == "medium" ? Adaptation::Medium
                                            : Adaptation::Full;
  settings.wavEvaluation = row.at("wav") == "1";
  settings.jointStereo = row.at("joint") == "1";
  settings.swapBytes = row.at("swap") == "1";
  settings.encoderMode = EncoderMode::Reference;  // the vectors hold the reference choices
  settings.trailer = false;                       // and no trailer
  const Bytes expected = vectorFile("encode", row.at("name") + ".qla");
  ASSERT_EQ(sha256Hex(expected), row.at("qla_sha256"));
  const Bytes input = vectorFile("encode", row.at("input"));
  for (const CpuPath path : runnableCpuPaths()) {  // every kernel build writes the same bytes
    selectCpuPath(path);
    Bytes compressed, restored;
    const auto error = fatalMessageOf([&] {
      compressed = compressBytes(settings, input);
      restored = decompressBytes(expected, settings.swapBytes);
    });
    ASSERT_FALSE(error) << *error;
    const auto differ = std::mismatch(compressed.begin(), compressed.end(), expected.begin(), expected.end());
    EXPECT_TRUE(compressed == expected) << "path " << static_cast<int>(path) << ": first difference at offset "
                                        << differ.first - compressed.begin() << " of " << expected.size()
                                        << " (ours " << compressed.size() << " bytes)";
    EXPECT_EQ(sha256Hex(restored), row.at("output_sha256")) << "path " << static_cast<int>(path);
  }
  selectCpuPath(CpuPath::Avx2);
}

// An expected message with a leading '*' matches any text that ends with the rest.
TEST_P(DecodeVector, RestoresOrRefusesExactly) {
  const Row& row = GetParam();
  if (row.contains("missing")) GTEST_SKIP() << "no conformance vectors: " << row.at("missing") << " is absent";
  const Bytes file = vectorFile("decode", row.at("name") + ".qla");
  for (const int threads : {1, 2, 4}) {  // blocks rebuilt on several threads land in file order
    Bytes output;
    const auto message =
        fatalMessageOf([&] { output = decompressBytes(file, row.at("swap") == "1", nullptr, threads); }, true);
    if (row.at("exit_status") == "0") {
      ASSERT_FALSE(message) << *message << ", " << threads << " threads";
      EXPECT_EQ(sha256Hex(output), row.at("output_sha256")) << threads << " threads";
    } else {
      const std::string& pattern = row.at("error_message");
      ASSERT_TRUE(message) << "decoding did not fail, " << threads << " threads";
      EXPECT_TRUE(pattern.starts_with('*') ? message->ends_with(pattern.substr(1)) : *message == pattern)
          << "message '" << *message << "' does not match '" << pattern << "', " << threads << " threads";
    }
  }
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) { return info.param.at("name"); }

INSTANTIATE_TEST_SUITE_P(Vectors, EncodeVector, ::testing::ValuesIn(readTable("encode/vectors.tsv")), rowName);
INSTANTIATE_TEST_SUITE_P(Vectors, DecodeVector, ::testing::ValuesIn(readTable("decode/vectors.tsv")), rowName);

}  // namespace
}  // namespace qola::test
