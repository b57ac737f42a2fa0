// SPDX-License-Identifier: MIT
/*
 * docseek plug-in: the whole C contract between a host program and libdocseek.
 *
 * The host loads the library (dlopen) and calls three functions. Every list the
 * plug-in touches belongs to the host: the plug-in never creates, clears, frees
 * or keeps one beyond the call that passed it. Texts cross the boundary as UTF-8.
 *
 *  - GetBackType(list)   appends the offered document types, one per line:
 *                        "pdf", "doc", "xls", "ppt", "rtf", "sogou".
 *  - GetBackCount(list)  appends the offered hit counts: "10", "20", "30", "50", "100".
 *  - Getinfo(results, types, count, keyword, reserved)
 *                        runs one search, one result page per line of `types`,
 *                        and appends six lines per hit to `results`: title, link
 *                        suffix, size, date, summary, link. Returns when every type
 *                        has been visited.
 *
 * None of the functions returns a value or reports an error: everything the host
 * receives arrives as lines in its lists. No C++ exception ever leaves them.
 *
 * Threads: call Getinfo on a thread that may run a GLib main loop (normally the
 * host's interface thread); the search runs entirely on it, dispatching that
 * thread's default main context while it waits, as a modal dialog does. A Getinfo
 * call made while a search is already running (from a callback reached through
 * that loop, from the host's own append callback, or from another thread) does
 * nothing and appends nothing.
 */
#ifndef DOCSEEK_PLUGIN_H
#define DOCSEEK_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#if defined(DOCSEEK_BUILDING_PLUGIN)
#define DOCSEEK_API __attribute__((visibility("default")))
#else
#define DOCSEEK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A host string list: an ordered list of UTF-8 lines that the host owns,
 * reached through three callbacks that all receive `context` unchanged.
 *
 *  - count(context): the number of lines.
 *  - line(context, index, length): the line at a zero-based index below count.
 *    Returns a pointer owned by the host that must stay valid until the next
 *    call on this list; the plug-in copies it at once. Stores the line's length
 *    in bytes into *length (the line need not end in NUL). NULL means "no such
 *    line" and is taken as an empty line.
 *  - append(context, text, length): adds a copy of `length` bytes of UTF-8 at the
 *    end. Returns 0 when the line was added; any other value refuses it, which
 *    ends what the plug-in was doing as an error (a search then moves on).
 *
 * `size` must be set to sizeof(docseek_list): fields are only ever added at the
 * end, and a list whose size is too small for what a call needs is left alone.
 * GetBackType and GetBackCount use only `append`; Getinfo reads `types` with
 * count and line, and uses only append on `results`.
 */
typedef struct docseek_list {
  size_t size;
  void* context;
  size_t (*count)(void* context);
  const char* (*line)(void* context, size_t index, size_t* length);
  int (*append)(void* context, const char* text, size_t length);
} docseek_list;

/* Appends "pdf", "doc", "xls", "ppt", "rtf", "sogou" without clearing the list. */
DOCSEEK_API void GetBackType(const docseek_list* list);

/* Appends "10", "20", "30", "50", "100" without clearing the list. */
DOCSEEK_API void GetBackCount(const docseek_list* list);

/*
 * Runs one search. For each line of `types`, in order, loads the engine's result
 * page for "KEYWORD filetype:TYPE" asking for `count` hits, and appends six lines
 * to `results` per hit read (at most `count` per page; none when count <= 0).
 * `keyword` is UTF-8 and NUL-terminated (NULL is taken as ""). `reserved` is
 * accepted and ignored (NULL allowed). An empty type list returns at once.
 */
DOCSEEK_API void Getinfo(const docseek_list* results, const docseek_list* types, int32_t count,
                         const char* keyword, const char* reserved);

/* Function pointer types for hosts that look the exports up with dlsym. */
typedef void (*docseek_GetBackType_fn)(const docseek_list* list);
typedef void (*docseek_GetBackCount_fn)(const docseek_list* list);
typedef void (*docseek_Getinfo_fn)(const docseek_list* results, const docseek_list* types,
                                   int32_t count, const char* keyword, const char* reserved);

#ifdef __cplusplus
}
#endif

#endif /* DOCSEEK_PLUGIN_H */
