/* Compresses a buffer of 16-bit stereo PCM in memory and restores it. */
#include <qola/qola.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#define FRAMES 20000

static int run(qola_job* job, int compress, const void* data, size_t size, qola_output** result) {
  qola_input* input = qola_input_memory(data, size);
  *result = qola_output_memory();
  const qola_status status = compress ? qola_compress(job, input, *result) : qola_decompress(job, input, *result);
  qola_input_free(input);
  if (status != QOLA_OK) fprintf(stderr, "%s (exit code %d)\n", qola_job_message(job), qola_job_exit_code(job));
  return status == QOLA_OK;
}

int main(void) {
  static int16_t pcm[2 * FRAMES];
  for (int i = 0; i < 2 * FRAMES; ++i) pcm[i] = (int16_t)(8000 * sin((i / 2) * 0.02 + (i % 2)));

  qola_settings settings;
  qola_default_settings(&settings);
  settings.wav_evaluation = 0; /* raw samples */
  qola_job* job = qola_job_create(&settings);
  qola_output* packed = NULL;
  qola_output* restored = NULL;
  int ok = job != NULL && run(job, 1, pcm, sizeof pcm, &packed);
  if (ok) {
    char report[512];
    qola_format_report(qola_job_result(job), report, sizeof report);
    printf("%s%s\n", QOLA_REPORT_TITLE, report);
    size_t size = 0;
    const uint8_t* bytes = qola_output_data(packed, &size);
    ok = run(job, 0, bytes, size, &restored);
  }
  if (ok) {
    size_t size = 0;
    const uint8_t* bytes = qola_output_data(restored, &size);
    ok = size == sizeof pcm && memcmp(bytes, pcm, size) == 0;
    printf("restored %s\n", ok ? "bit for bit" : "WRONG");
  }
  qola_output_free(restored);
  qola_output_free(packed);
  qola_job_free(job);
  return ok ? 0 : 1;
}
