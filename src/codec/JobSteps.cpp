#include "codec/JobSteps.h"

namespace qola {

int blockSlotCount(int threads) { return threads == 1 ? 1 : 2 * threads; }

void showProgress(ProgressSink& sink, std::int64_t done, std::int64_t total) {
  sink.setProgress(static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total)));
}

void stopJob(InputStream& input, OutputStream& output) {
  output.close();
  input.close();
}

void endJob(const qola_result& result, InputStream& input, OutputStream& output, ProgressSink& sink) {
  output.close();
  input.close();
  sink.finish(result);
  sink.setProgress(0);
}

void endRestore(qola_result& result, InputStream& input, OutputStream& output, ProgressSink& sink) {
  output.flush();
  result.original_size = output.position();
  endJob(result, input, output, sink);
}

}  // namespace qola
