/* A host that loads the library, calls into it and unloads it finds it gone
 * afterwards: nothing the library exports keeps it mapped. */
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "cannot load: %s\n", dlerror());
    return 1;
  }
  /* Through the job's threads and tables, so that whatever they leave behind counts. */
  typedef void* (*Create)(const void*);
  typedef void* (*Memory)(const void*, size_t);
  typedef void* (*Output)(void);
  typedef int (*Run)(void*, void*, void*);
  typedef void (*Free)(void*);
  const char* (*version)(void) = (const char* (*)(void))dlsym(library, "qola_version");
  Create create = (Create)dlsym(library, "qola_job_create");
  Memory input = (Memory)dlsym(library, "qola_input_memory");
  Output output = (Output)dlsym(library, "qola_output_memory");
  Run compress = (Run)dlsym(library, "qola_compress");
  Free freeJob = (Free)dlsym(library, "qola_job_free");
  Free freeInput = (Free)dlsym(library, "qola_input_free");
  Free freeOutput = (Free)dlsym(library, "qola_output_free");
  if (!version || !create || !input || !output || !compress || !freeJob || !freeInput || !freeOutput) {
    fprintf(stderr, "missing functions\n");
    return 1;
  }
  static short samples[2 * 20000];
  for (int i = 0; i < 2 * 20000; ++i) samples[i] = (short)((i * 37) % 2000 - 1000);
  void* job = create(NULL);
  void* in = input(samples, sizeof samples);
  void* out = output();
  const int status = compress(job, in, out);
  freeOutput(out);
  freeInput(in);
  freeJob(job);
  printf("version %s compressed with status %d\n", version(), status);
  if (status != 0) return 1;
  dlclose(library);
  if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) != NULL) {
    fprintf(stderr, "still loaded after dlclose\n");
    return 1;
  }
  printf("unloaded\n");
  return 0;
}
