#include <qola/qola.h>

namespace qola {

void decompressFile(const CodecSettings&, InputStream& input, OutputStream& output, ProgressSink&) {
  output.close();
  input.close();
  fatalError("decompression is not available yet", 1);
}

}  // namespace qola
