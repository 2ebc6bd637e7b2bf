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
  const auto shared = sharedDir();
  std::ifstream file;
  if (shared) file.open(*shared / "vectors" / relative);
  if (!file.is_open()) return {Row{{"name", "skipped"}, {"missing", "../shared/vectors/" + relative}}};
  std::vector<Row> rows;
  std::string line;
  std::vector<std::string> columns;
  while (std::getline(file, line)) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    if (columns.empty()) {
      columns = fields;
      continue;
    }
    Row row;
    for (std::size_t i = 0; i < columns.size() && i < fields.size(); ++i) row[columns[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

std::filesystem::path vectorPath(const std::string& folder, const std::string& file) {
  return *sharedDir() / "vectors" / folder / file;
}

CodecSettings settingsOf(const Row& row) {
  CodecSettings settings;
  settings.channelCount = std::stoi(row.at("channels"));
  settings.sampleBits = std::stoi(row.at("bits"));
  const int block = std::stoi(row.at("block"));
  settings.blockLengthIndex = 0;
  while ((128 << settings.blockLengthIndex) < block) ++settings.blockLengthIndex;
  const std::string& adaptation = row.at("adaptation");
  settings.adaptation = adaptation == "none"     ? Adaptation::None
                        : adaptation == "medium" ? Adaptation::Medium
                                                 : Adaptation::Full;
  settings.wavEvaluation = row.at("wav") == "1";
  settings.jointStereo = row.at("joint") == "1";
  settings.swapBytes = row.at("swap") == "1";
  settings.encoderMode = EncoderMode::Reference;  // the vectors hold the reference choices
  settings.trailer = false;                       // and no trailer
  return settings;
}

// A leading '*' matches any text; every other character stands for itself.
bool matchesPattern(const std::string& text, const std::string& pattern) {
  if (!pattern.starts_with('*')) return text == pattern;
  return text.ends_with(std::string_view(pattern).substr(1));
}

std::string firstDifference(const Bytes& actual, const Bytes& expected) {
  std::size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return "first difference at offset " + std::to_string(i) + " of " + std::to_string(expected.size()) +
         " (ours " + std::to_string(actual.size()) + " bytes)";
}

class EncodeVector : public ::testing::TestWithParam<Row> {};
class DecodeVector : public ::testing::TestWithParam<Row> {};

TEST_P(EncodeVector, CompressesToTheExactFileAndRestoresTheInput) {
  const Row& row = GetParam();
  if (row.contains("missing")) GTEST_SKIP() << "no conformance vectors: " << row.at("missing") << " is absent";
  const Bytes input = readFile(vectorPath("encode", row.at("input")));
  const Bytes expected = readFile(vectorPath("encode", row.at("name") + ".qla"));
  ASSERT_EQ(sha256Hex(expected), row.at("qla_sha256"));

  Bytes compressed;
  const auto encodeError = fatalMessageOf([&] { compressed = compressBytes(settingsOf(row), input); });
  ASSERT_FALSE(encodeError) << *encodeError;
  EXPECT_TRUE(compressed == expected) << firstDifference(compressed, expected);

  Bytes restored;
  const auto decodeError = fatalMessageOf([&] { restored = decompressBytes(expected, row.at("swap") == "1"); });
  ASSERT_FALSE(decodeError) << *decodeError;
  EXPECT_EQ(sha256Hex(restored), row.at("output_sha256"));
}

TEST_P(DecodeVector, RestoresOrRefusesExactly) {
  const Row& row = GetParam();
  if (row.contains("missing")) GTEST_SKIP() << "no conformance vectors: " << row.at("missing") << " is absent";
  const Bytes file = readFile(vectorPath("decode", row.at("name") + ".qla"));
  Bytes output;
  std::optional<std::string> message;
  {
    try {
      CodecSettings settings;
      settings.mode = Mode::Decompress;
      settings.swapBytes = row.at("swap") == "1";
      InputStream in(file);
      OutputStream out(output);
      RecordingSink sink;
      decompressFile(settings, in, out, sink);
    } catch (const FatalCaught& caught) {
      message = caught.message;
      EXPECT_EQ(caught.code, 1);
    }
  }
  if (row.at("exit_status") == "0") {
    ASSERT_FALSE(message) << *message;
  } else {
    ASSERT_TRUE(message) << "decoding did not fail";
    EXPECT_TRUE(matchesPattern(*message, row.at("error_message")))
        << "message '" << *message << "' does not match '" << row.at("error_message") << "'";
  }
  if (row.at("output_sha256") != "-") {
    EXPECT_EQ(sha256Hex(output), row.at("output_sha256"));
  }
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) { return info.param.at("name"); }

INSTANTIATE_TEST_SUITE_P(Vectors, EncodeVector, ::testing::ValuesIn(readTable("encode/vectors.tsv")), rowName);
INSTANTIATE_TEST_SUITE_P(Vectors, DecodeVector, ::testing::ValuesIn(readTable("decode/vectors.tsv")), rowName);

}  // namespace
}  // namespace qola::test
