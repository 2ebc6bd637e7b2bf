/* QOLA: lossless compression of 8/16-bit mono/stereo PCM audio.
 *
 * A job compresses or restores one whole stream. It runs to its end inside
 * the call and returns a status; on failure the job keeps the message and the
 * exit code the qola programs use, and the host process goes on. Jobs share
 * no state: two jobs may run at once on two threads, each with its own
 * handles. C99; the C++ layer is <qola/qola.hpp>. */
#ifndef QOLA_QOLA_H
#define QOLA_QOLA_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <qola/version.h>

#if defined(__GNUC__)
#define QOLA_API __attribute__((visibility("default")))
#else
#define QOLA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum qola_status {
  QOLA_OK = 0,
  QOLA_ERROR_JOB = 1,         /* damaged input, memory, coding error: the job's message box */
  QOLA_ERROR_TRANSFORM = 2,   /* a transform refused its length or memory (plain text on stdout) */
  QOLA_ERROR_CODER = 3,       /* the arithmetic coder's "file:line: error:" line (stderr) */
  QOLA_ERROR_WRITE = 4,       /* the output could not be written (a full disk) */
  QOLA_ERROR_NEEDS_SIZE = 5,  /* kept for old callers: an input without a size is now
                                 copied to an unnamed scratch file and compressed */
  QOLA_ERROR_NOT_QOLA = 6,    /* the input is not a compressed file */
  QOLA_ERROR_ARGUMENT = 7,    /* a null handle or a setting out of range */
  QOLA_CANCELLED = 8,         /* the progress callback asked to stop */
  QOLA_ERROR_CHECKSUM = 9     /* restored, but not to the original: the output is damaged */
} qola_status;

/* A short English description of a status; "unknown status" for a value
 * that is none. The text lives as long as the library is loaded. */
QOLA_API const char* qola_status_string(int status);

typedef enum qola_adaptation {
  QOLA_ADAPTATION_NONE = 1,
  QOLA_ADAPTATION_MEDIUM = 2,
  QOLA_ADAPTATION_FULL = 3
} qola_adaptation;

/* How the encoder makes the choices the format leaves to it; every mode writes
 * files every reader restores. REFERENCE: every choice by the bit estimates
 * alone, as the conformance vectors hold them (the desktop program's mode).
 * DEFAULT: those plus choices that cost no time. BEST:
 * codes candidates and keeps the smallest, several times slower. FAST: DEFAULT
 * without block splitting. */
typedef enum qola_encoder_mode {
  QOLA_ENCODER_REFERENCE = 0,
  QOLA_ENCODER_DEFAULT = 1,
  QOLA_ENCODER_BEST = 2,
  QOLA_ENCODER_FAST = 3
} qola_encoder_mode;

/* Records that cross the interface lead with their size in bytes and only
 * ever grow at their end, so a program built against an older header keeps
 * working with a newer library. The caller sets the size of a record it hands
 * in (qola_default_settings does so for the settings); the library sets it in
 * the records it fills. Fields beyond a record's size are neither read nor
 * written; a missing setting takes its default. */
typedef struct qola_settings {
  size_t size;         /* sizeof(qola_settings) as the caller was compiled */
  int channels;        /* 1 or 2; a WAV header overrides it */
  int sample_bits;     /* 8 or 16; a WAV header overrides it */
  int block_length;    /* 128, 256, 512, 1024, 2048 or 4096 samples; 0: the
                          encoder's choice (4096 in this release) */
  int adaptation;      /* a qola_adaptation; MEDIUM and FULL need a block
                          length of 512 or more */
  int wav_evaluation;  /* nonzero: a RIFF/WAVE header sets the layout and is kept */
  int joint_stereo;    /* nonzero: the right channel may be coded against the left */
  int swap_bytes;      /* 16-bit samples: positive big-endian, negative little-endian;
                          0 compresses little-endian and restores as the file's
                          trailer says (little-endian without one) */
  int threads;         /* 0: the cores available */
  int encoder_mode;    /* a qola_encoder_mode */
  int trailer;         /* nonzero: the file ends with a trailer: the input's MD5,
                          its byte order and its bytes after the last whole frame */
  int index;           /* nonzero (with trailer): the trailer holds the block index:
                          where every unit of about 4096 frames starts and its
                          CRC-32, so that a restore runs on every thread and names
                          the damaged parts of a damaged file */
  int require_checksum; /* nonzero: a restore fails unless a stored checksum
                           confirmed every byte (archive checks) */
  /* New settings are appended here. */
} qola_settings;

/* Fills a settings record of size bytes with the qola program's defaults:
 * stereo 16-bit, N the encoder's choice (block_length 0), full adaptation, WAV evaluation and joint stereo on,
 * all cores, default mode, trailer on. A size this library does not know
 * (smaller than the first settings record or larger than its own) gets
 * QOLA_ERROR_ARGUMENT, and a record of at least a size field is zeroed, so a
 * job refuses it too. */
QOLA_API qola_status qola_init_settings(qola_settings* settings, size_t size);

/* The defaults, for a record of this header's size. */
static inline void qola_default_settings(qola_settings* settings) {
  qola_init_settings(settings, sizeof(qola_settings));
}

/* Why a compression (compressing nonzero) or restore job would refuse these
 * settings, as its message says it ("Minimum block length for adaptation is
 * 512!", "A setting is out of range"), or NULL when it takes them: a front
 * end asks before it opens any file. The text lives as long as the library
 * is loaded. */
QOLA_API const char* qola_settings_refusal(const qola_settings* settings, int compressing);

/* Inputs. A job reads its input to the end and closes what it owns. Input
 * and output handles are single-use: one job (or one probe) uses them up,
 * and a second run on the same handle answers QOLA_ERROR_ARGUMENT; free them
 * and open new ones. */
typedef struct qola_input qola_input;
/* Returns the bytes read into buffer (0 at the end), or -1 on a read error. */
typedef ptrdiff_t (*qola_read_fn)(void* user, void* buffer, size_t count);
/* Returns the input's total length in bytes, or -1 when it is unknown. */
typedef int64_t (*qola_size_fn)(void* user);

QOLA_API qola_input* qola_input_open(const char* path); /* NULL: errno tells why */
QOLA_API qola_input* qola_input_file(FILE* file, int take_ownership);
QOLA_API qola_input* qola_input_memory(const void* data, size_t size); /* borrowed */
QOLA_API qola_input* qola_input_callbacks(qola_read_fn read, qola_size_fn size, void* user);
/* Interleaved samples (left, right for stereo) in a caller's buffer, borrowed:
 * frames x channels samples of 8 bits unsigned (128 the zero line) or 16 bits
 * signed in the host's byte order. Compression takes this layout instead of
 * the settings' channels, sample width, WAV evaluation and byte order; the
 * restore gives the same bytes back. NULL for another layout. */
QOLA_API qola_input* qola_input_samples(const void* samples, size_t frames, int channels, int bits);
/* Gives a samples input a plain PCM WAV header at this sample rate: the file
 * stores it and a restore writes a WAV file (16-bit samples little-endian on
 * any host). QOLA_ERROR_ARGUMENT for an input not made by qola_input_samples,
 * one used or given a rate already, a rate of 0, or sizes beyond the header's
 * 32-bit fields. */
QOLA_API qola_status qola_input_set_sample_rate(qola_input* input, uint32_t sample_rate);
/* Moves to a byte offset from the start; returns 0 on success. */
typedef int (*qola_seek_fn)(void* user, int64_t offset);
/* Callbacks that can seek: a decoder can then go back, and a restore reads
 * the trailer first. Path, FILE (a regular file) and memory inputs seek. */
QOLA_API qola_input* qola_input_seekable_callbacks(qola_read_fn read, qola_size_fn size, qola_seek_fn seek,
                                                   void* user);
QOLA_API void qola_input_free(qola_input* input);

/* Outputs. A path output to a new or replaced file is written unnamed and
 * takes its name only when the job succeeds, so a failed or killed job leaves
 * no partial file; a device or FIFO is written in place and a symbolic link
 * is written through to the file it names. A memory output keeps the bytes
 * until it is freed, also those of a failed or cancelled job: what was
 * written before the job stopped stays readable (and is not a whole file). */
typedef struct qola_output qola_output;
/* Takes count bytes; returns 0 on success, nonzero on a write error. */
typedef int (*qola_write_fn)(void* user, const void* data, size_t count);

/* qola_output_open(path, 0): never replaces an existing file. */
QOLA_API qola_output* qola_output_create(const char* path); /* NULL: errno tells why */
QOLA_API qola_output* qola_output_file(FILE* file, int take_ownership);
QOLA_API qola_output* qola_output_memory(void);
QOLA_API qola_output* qola_output_callbacks(qola_write_fn write, void* user);
/* The bytes of a memory output (NULL for other outputs). */
QOLA_API const uint8_t* qola_output_data(const qola_output* output, size_t* size);
QOLA_API void qola_output_free(qola_output* output);

/* Flags of qola_output_open. */
#define QOLA_OUTPUT_REPLACE 1 /* an existing file (or a link's file, or a block device) may be replaced */
#define QOLA_OUTPUT_HOLD 2    /* the job neither names nor removes a new file: the caller checks, then commits */
#define QOLA_OUTPUT_SYNC 4    /* commit puts the file and its folder on the disk before it returns */
#define QOLA_OUTPUT_FILE_ONLY 8 /* a device or FIFO is refused, unopened: the output must be re-readable */
#define QOLA_OUTPUT_HOLD_DEVICE 16 /* with HOLD, a device or FIFO too gets its bytes only at commit */
/* A path output. NULL with errno: EEXIST for an existing file without
 * REPLACE, EISDIR for a folder, ENOENT for an empty name, ENOTSUP for a
 * device or FIFO with FILE_ONLY. */
QOLA_API qola_output* qola_output_open(const char* path, int flags);
/* Gives a finished path output its name (a held device its bytes); 0, or -1
 * with errno (EEXIST: another file took the name meanwhile). Not while a job
 * runs on it. Freeing a held output without it leaves no file. */
QOLA_API int qola_output_commit(qola_output* output);
/* The file that holds a path output's bytes, open for reading and writing
 * (borrowed; the output's until it is freed): for reading them back with
 * pread, or for a front end that writes the bytes itself before commit. -1
 * for other outputs and for a device or FIFO written in place. */
QOLA_API int qola_output_descriptor(const qola_output* output);
/* 1 when a path output becomes a regular file at its name, which can be
 * reopened and checked there after commit; 0 otherwise. */
QOLA_API int qola_output_is_regular(const qola_output* output);
/* An unnamed scratch file under $TMPDIR (else /tmp), open for reading and
 * writing, close-on-exec; the caller closes it and it vanishes. -1 with errno. */
QOLA_API int qola_scratch_file(void);

/* Called with 0..100 while a job runs; a nonzero return cancels the job. */
typedef int (*qola_progress_fn)(void* user, int percent);

typedef enum qola_job_kind { QOLA_COMPRESSION = 0, QOLA_DECOMPRESSION = 1 } qola_job_kind;

/* What a restore learned of its checksum. */
typedef enum qola_checksum {
  QOLA_CHECKSUM_NONE = 0,        /* no trailer: written by a plain encoder */
  QOLA_CHECKSUM_OK = 1,          /* every byte written matches the original's MD5 */
  QOLA_CHECKSUM_MISMATCH = 2,    /* the output differs from the original */
  QOLA_CHECKSUM_NOT_COMPARED = 3, /* swap_bytes chose another byte order than the original's */
  QOLA_CHECKSUM_PART = 4          /* a part was restored: the MD5 is the whole file's, not compared */
} qola_checksum;

/* What a finished job measured. */
typedef struct qola_result {
  size_t size;              /* sizeof(qola_result) as the library was built */
  qola_job_kind kind;
  int64_t samples;          /* per channel */
  int channels;
  int bits;                 /* 8 or 16 */
  int header_length;        /* bytes of the stored WAV header (0 or 44 when compressing) */
  int64_t original_size;    /* bytes of the PCM file, header included */
  int64_t compressed_size;  /* bytes of the compressed file (compression) */
  double ratio;             /* original / compressed (compression) */
  double bits_per_sample;   /* average compressed bits per sample (compression) */
  int file_version;         /* tenths: 17 is "1.7" (decompression) */
  const char* platform;     /* "DOS" or "Solaris" (decompression) */
  qola_checksum checksum;   /* decompression; compression: OK when a trailer was written */
  uint8_t md5[16];          /* the original input's MD5, when checksum is not NONE */
  int64_t ignored_bytes;    /* decompression: bytes after the audio that are no trailer */
  int64_t input_size;       /* compression: bytes read from the input (a pipe's too) */
  /* New results are appended here. */
} qola_result;

typedef struct qola_job qola_job;

/* NULL settings: the defaults. The job keeps a copy of the settings' first
 * settings->size bytes; when that size is unknown to the library, every run
 * of the job answers QOLA_ERROR_ARGUMENT. Returns NULL when memory is short. */
QOLA_API qola_job* qola_job_create(const qola_settings* settings);
QOLA_API void qola_job_free(qola_job* job);
QOLA_API void qola_job_set_progress(qola_job* job, qola_progress_fn progress, void* user);

/* Run one job. Both streams are finished (flushed, owned files closed) when
 * these return; on failure a path output is removed and nothing more is
 * written to the others. A job handle may be run again, with new streams;
 * each run replaces the last one's message and result. */
QOLA_API qola_status qola_compress(qola_job* job, qola_input* input, qola_output* output);
QOLA_API qola_status qola_decompress(qola_job* job, qola_input* input, qola_output* output);
/* Restores frames first .. end - 1 (end -1: to the last frame) as a file of
 * their own: the stored WAV header with its sizes set for the part, then the
 * part's samples in the original's byte order. The whole file's MD5 cannot
 * be compared with a part (checksum QOLA_CHECKSUM_PART); a file with a block
 * index has each unit read checked against its own CRC-32 instead. A range
 * outside the file fails with QOLA_ERROR_ARGUMENT. The result's samples
 * count the part's frames. */
QOLA_API qola_status qola_decompress_range(qola_job* job, qola_input* input, qola_output* output, int64_t first,
                                           int64_t end);

/* The last run's message ("" after success), exit code (0 after success) and
 * result (valid after success). The message states the cause only ("Old file
 * version", "arithmetic decoder bad input file"); the program message is the
 * same failure as the qola programs show it ("Old file version, program
 * terminated", "Ac.cpp:18: error: arithmetic decoder bad input file").
 * Both pointers stay valid until the job is run again or freed. */
QOLA_API const char* qola_job_message(const qola_job* job);
QOLA_API const char* qola_job_program_message(const qola_job* job);
QOLA_API int qola_job_exit_code(const qola_job* job);
QOLA_API const qola_result* qola_job_result(const qola_job* job);

/* The title and text of the closing report, as the programs show it. Writes
 * at most size bytes including the terminating zero; returns the full length. */
#define QOLA_REPORT_TITLE "Ready"
QOLA_API size_t qola_format_report(const qola_result* result, char* buffer, size_t size);

/* Why a compression's output came out larger than its input, in one line the
 * programs show with the report (the output is still correct); NULL when it
 * did not grow or the record is no compression's. The text lives as long as
 * the library is loaded. */
QOLA_API const char* qola_growth_reason(const qola_result* result);

/* Seconds of audio in a PCM file of total_size bytes that starts with the
 * given bytes (its first 64 or more): its RIFF/WAVE header states the rate
 * and frame size. -1 when it has no such header; raw samples state no rate. */
QOLA_API double qola_wav_duration(const void* head, size_t head_size, int64_t total_size);

/* Whether a file that starts with the given bytes and has total_size bytes
 * (-1: unknown) can be a compressed file. Cheap; decodes nothing. */
QOLA_API int qola_is_compressed(const void* head, size_t head_size, int64_t total_size);

/* The facts of a compressed file, read from its first bytes and, where the
 * input can seek, from its trailer at the end; nothing is decoded. The caller
 * sets size to sizeof(qola_info); the library fills the fields inside it. */
typedef struct qola_info {
  size_t size;             /* set by the caller before the call */
  int channels;            /* 1 or 2 */
  int sample_bits;         /* 8 or 16 */
  int block_length;        /* samples per channel in a block: 128 .. 16384 */
  int64_t frames;          /* sample frames (samples per channel) */
  int file_version;        /* tenths: 17 is "1.7" */
  int wav_header;          /* 1: the original's WAV header is stored (restored first) */
  int header_length;       /* bytes of the stored header (0 without one) */
  int sample_rate;         /* from the stored WAV header; 0: unknown */
  uint32_t channel_mask;   /* speaker positions from an extensible WAV header; 0: none given */
  double duration;         /* seconds (frames / sample_rate); -1 when the rate is unknown */
  int trailer;             /* 1: a valid trailer ends the file; 0: none; -1: unknown
                              (the input cannot seek, so its end was not read) */
  uint8_t md5[16];         /* the original input's MD5 from the trailer (trailer 1) */
  int swap_bytes;          /* trailer 1: the original's 16-bit samples were big-endian */
  int64_t original_size;   /* bytes the restore writes; -1 when unknown (no trailer read) */
  int64_t compressed_size; /* bytes of the compressed file; -1 when unknown */
  int index;               /* 1: the trailer holds a block index; 0: none; -1: unknown */
  /* New facts are appended here. */
} qola_info;

/* Reads the facts of the compressed file on input into *info. A file that is
 * not a compressed file (empty, a WAV file, a header that cannot be ours)
 * answers QOLA_ERROR_NOT_QOLA; an older file version QOLA_ERROR_JOB; an info
 * size the library does not know QOLA_ERROR_ARGUMENT. The input is read from
 * its start and used up (closed, as after a job): open another one for a job. */
QOLA_API qola_status qola_probe(qola_input* input, qola_info* info);

/* The library's version: a text "MAJOR.MINOR" and a number
 * MAJOR * 10000 + MINOR * 100 + PATCH, to compare with QOLA_VERSION_NUMBER. */
QOLA_API const char* qola_version(void);
QOLA_API int qola_version_number(void);

/* The decoder: the sample frames of a compressed file, from any position, into
 * the caller's buffers. It runs on the caller's thread, one block at a time.
 *
 * Frames come interleaved (left, right for stereo) as the file's samples:
 * 8-bit unsigned (128 the zero line) or 16-bit signed in the host's byte
 * order, whatever byte order the original file had.
 *
 * Cost of a seek: a file with a block index is entered at the indexed unit
 * holding the frame, so a seek costs the same wherever it lands. Without an
 * index (older files, files written without one) the decoder goes forward from where it
 * stands, and a seek backwards starts again from the first block: the cost
 * grows with the distance decoded. A seek itself decodes nothing; the next
 * read does.
 *
 * Seeking needs an input that can move: path, FILE (a regular file), memory
 * or seekable callbacks. Other inputs read forward from frame 0 only.
 *
 * Every call returns a status; on failure qola_decoder_message says why,
 * until the next call. A damaged block fails the reads that reach it, and
 * blocks elsewhere stay readable. One decoder serves one thread at a time. */
typedef struct qola_decoder qola_decoder;

/* Reads the file's header (and on a seekable input its trailer). The input is
 * borrowed: keep it until the decoder is freed, and do not run a job on it.
 * Returns NULL only when input is NULL or memory is short; otherwise check
 * qola_decoder_status: after a failed open every call answers that failure. */
QOLA_API qola_decoder* qola_decoder_open(qola_input* input);
QOLA_API void qola_decoder_free(qola_decoder* decoder);
/* The status and message of the last call ("" after success). */
QOLA_API qola_status qola_decoder_status(const qola_decoder* decoder);
QOLA_API const char* qola_decoder_message(const qola_decoder* decoder);

/* The layout of the frames read gives: channels (1 or 2), bits per sample
 * (8 or 16), frames per channel and the sample rate from the stored WAV
 * header (0 when the file holds none). Null pointers are skipped. */
QOLA_API qola_status qola_decoder_format(const qola_decoder* decoder, int* channels, int* sample_bits,
                                         int64_t* frames, int* sample_rate);

/* The file's facts, as qola_probe gives them; the caller sets info->size. */
QOLA_API qola_status qola_decoder_info(const qola_decoder* decoder, qola_info* info);

/* The next read starts at frame (0 .. frames); QOLA_ERROR_ARGUMENT outside. */
QOLA_API qola_status qola_decoder_seek(qola_decoder* decoder, int64_t frame);
/* The frame the next read starts at. */
QOLA_API int64_t qola_decoder_tell(const qola_decoder* decoder);

/* The frames that hold the audio of the stored WAV file's data chunk,
 * [*first, *first + *count). A WAV header may run past the 44 bytes a file
 * stores (a longer format chunk, chunks before the data) and chunks may
 * follow the data: the codec keeps those bytes among the samples, and this
 * tells a player which frames to play. The whole file for raw PCM, an input
 * that cannot go back, or a data chunk that does not start on a frame. Reads
 * the first frames and returns to the position it found. */
QOLA_API qola_status qola_decoder_audio_frames(qola_decoder* decoder, int64_t* first, int64_t* count);

/* Up to `frames` frames into buffer (frames x channels x bytes per sample);
 * *read (may be NULL) gets the frames given, fewer only at the end of the
 * file or on a failure, when the frames before the damage are still given. */
QOLA_API qola_status qola_decoder_read(qola_decoder* decoder, void* buffer, size_t frames, size_t* read);

#ifdef __cplusplus
}
#endif

#endif
