#include <qola/qola.h>

namespace qola {

void compressFile(const CodecSettings&, InputStream& input, OutputStream& output, ProgressSink&) {
  output.close();
  input.close();
  fatalError("compression is not available yet", 1);
}

}  // namespace qola
