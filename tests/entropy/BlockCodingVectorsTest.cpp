// Transform segments of the conformance files: every one decodes, ends where
// the next record starts, and (for the encoder's own files) re-encodes to the
// very same bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <cstdlib>
#include <map>
#include <sstream>

#include "TestSupport.h"
#include "common/Format.h"
#include "entropy/BlockCoding.h"

namespace qola::test {
namespace {

// The rows of a vectors.tsv: the name (first column) and, where there is one, the exit status (third).
std::vector<std::pair<std::string, int>> readIndex(const std::filesystem::path& tsv) {
  std::ifstream file(tsv);
  std::string line;
  std::getline(file, line);  // column names
  std::vector<std::pair<std::string, int>> rows;
  while (std::getline(file, line)) {
    std::vector<std::string> fields;
    for (std::stringstream cells(line); std::getline(cells, line, '\t');) fields.push_back(line);
    if (fields.size() >= 3) rows.emplace_back(fields[0], std::atoi(fields[2].c_str()));
  }
  return rows;
}

// Walks the segment records after the file header; returns the number of
// transform segments. With reencode, each must come out byte for byte again.
int walkSegments(const Bytes& file, bool reencode) {
  if (file.size() < format::kFileHeaderSize) return 0;
  const std::uint8_t flags = file[1];
  std::size_t offset = format::kFileHeaderSize;
  if ((flags & format::kFlagHeaderCopy) != 0 && offset < file.size()) offset += 1 + file[offset];
  int transforms = 0;
  while (offset < file.size()) {
    const std::uint8_t segmentByte = file[offset];
    const int kind = segmentByte >> format::kSegmentKindShift;
    const int s = (segmentByte & format::kSegmentExponentMask) + format::kMinSegmentExponent;
    if (kind == 0) {
      offset += 1;
      continue;
    }
    if (kind == 1) {
      offset += 3;
      continue;
    }
    const bool hasLag = kind == 3 && (flags & format::kFlagJointStereo) != 0;
    const std::size_t header = hasLag ? 2 : 1;
    const int lag = hasLag ? static_cast<std::int8_t>(file.at(offset + 1)) : format::kNoJointStereo;
    const std::size_t m = std::size_t{1} << s;
    std::vector<std::int16_t> residual(m);
    std::vector<std::int32_t> coefficients(m);
    std::vector<std::int8_t> parameters(m / 32);
    std::vector<std::int32_t> differences(m / 32);
    InputStream input(std::span<const std::uint8_t>(file).subspan(std::min(offset + header, file.size())));
    BitReader reader;
    decodeTransformSegment(s, reader, input, residual.data(), coefficients.data(), parameters.data(),
                           differences.data());
    Bytes rest(file.size());
    const std::size_t end = file.size() - input.read(rest.data(), rest.size());
    if (reencode) {
      const int nonZero = static_cast<int>(std::count_if(residual.begin(), residual.end(), [](auto e) { return e != 0; }));
      Bytes record;
      OutputStream output(record);
      BitWriter writer;
      encodeTransformSegment(s, residual.data(), parameters.data(), coefficients.data(), nonZero, lag, writer, output);
      EXPECT_TRUE(std::equal(record.begin(), record.end(), file.begin() + static_cast<std::ptrdiff_t>(offset),
                             file.begin() + static_cast<std::ptrdiff_t>(end)) &&
                  record.size() == end - offset)
          << "transform segment at offset " << offset;
    }
    offset = end;
    ++transforms;
  }
  return transforms;
}

std::optional<std::filesystem::path> vectorsDir() {
  const auto shared = sharedDir();
  if (!shared || !std::filesystem::exists(*shared / "vectors" / "encode" / "vectors.tsv")) return std::nullopt;
  return *shared / "vectors";
}

TEST(TransformSegmentVectors, EncoderFilesReencodeExactly) {
  const auto dir = vectorsDir();
  if (!dir) GTEST_SKIP() << "no conformance vectors";
  int transforms = 0;
  for (const auto& [name, status] : readIndex(*dir / "encode" / "vectors.tsv")) {
    SCOPED_TRACE(name);
    const Bytes file = readFile(*dir / "encode" / (name + ".qla"));
    const auto failure = fatalMessageOf([&] { transforms += walkSegments(file, true); });
    EXPECT_EQ(failure, std::nullopt);
  }
  EXPECT_GT(transforms, 100);
}

TEST(TransformSegmentVectors, DecoderFilesDecodeOrFailAsDamaged) {
  const auto dir = vectorsDir();
  if (!dir) GTEST_SKIP() << "no conformance vectors";
  // Failing rows whose fault lies inside a transform segment; the others fail in the driver.
  const std::map<std::string, std::string> segmentFaults = {
      {"error_truncated_coefficients", "Damaged file: the file ends inside a coefficient code, program terminated"},
      {"error_truncated_residual", ": error: arithmetic decoder bad input file"},
      {"error_peaked_model_m2", "Damaged file: a fixed peaked residual model with M below 3, program terminated"},
      {"error_band_parameter_32", "Damaged file: a band parameter outside -3..31, program terminated"}};
  for (const auto& [name, status] : readIndex(*dir / "decode" / "vectors.tsv")) {
    SCOPED_TRACE(name);
    const Bytes file = readFile(*dir / "decode" / (name + ".qla"));
    const auto failure = fatalMessageOf([&] { walkSegments(file, false); });
    const auto fault = segmentFaults.find(name);
    if (fault != segmentFaults.end()) {
      ASSERT_TRUE(failure.has_value());
      EXPECT_NE(failure->find(fault->second), std::string::npos) << *failure;
    } else if (status == 0) {
      EXPECT_EQ(failure, std::nullopt);
    }
  }
}

}  // namespace
}  // namespace qola::test
