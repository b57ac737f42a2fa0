/* SPDX-License-Identifier: MIT */
/*
 * A minimal C host for measuring memory: loads the plug-in, runs the same
 * search N times (6 types x COUNT hits) and prints the peak resident set after
 * the first search and after the last, so growth over many searches shows.
 *
 *   search_host PLUGIN N COUNT      (the browser honours http_proxy)
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "docseek/plugin.h"

struct lines {
  size_t count;
  size_t bytes;
  const char* const* items; /* for the type list only */
};

static size_t count_lines(void* context) { return ((struct lines*)context)->count; }

static const char* line_at(void* context, size_t index, size_t* length) {
  const char* line = ((struct lines*)context)->items[index];
  *length = strlen(line);
  return line;
}

/* Results are counted, not kept: the host's own memory stays out of the figure. */
static int append_line(void* context, const char* text, size_t length) {
  struct lines* list = context;
  (void)text;
  list->count++;
  list->bytes += length;
  return 0;
}

/* The high-water mark of this program's own memory: unlike ru_maxrss, VmHWM
 * does not count what the parent process held before it forked us. */
static long peak_kib(void) {
  FILE* status = fopen("/proc/self/status", "r");
  char line[256];
  long kib = -1;
  while (status != NULL && fgets(line, sizeof line, status) != NULL) {
    if (strncmp(line, "VmHWM:", 6) == 0) kib = atol(line + 6);
  }
  if (status != NULL) fclose(status);
  return kib;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: search_host PLUGIN SEARCHES COUNT\n");
    return 2;
  }
  const long searches = atol(argv[2]);
  const int count = atoi(argv[3]);
  long before = peak_kib();
  void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (plugin == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  docseek_Getinfo_fn getinfo = (docseek_Getinfo_fn)dlsym(plugin, "Getinfo");
  if (getinfo == NULL) return 1;
  long loaded = peak_kib();

  static const char* const kTypes[] = {"pdf", "doc", "xls", "ppt", "rtf", "sogou"};
  struct lines types = {6, 0, kTypes};
  docseek_list type_list = {sizeof(docseek_list), &types, count_lines, line_at, append_line};
  long first = 0;
  size_t lines_per_search = 0;
  for (long i = 0; i < searches; ++i) {
    struct lines results = {0, 0, NULL};
    docseek_list result_list = {sizeof(docseek_list), &results, count_lines, line_at, append_line};
    getinfo(&result_list, &type_list, count, "report", NULL);
    if (i == 0) {
      first = peak_kib();
      lines_per_search = results.count;
    } else if (results.count != lines_per_search) {
      fprintf(stderr, "search %ld returned %zu lines, the first %zu\n", i + 1, results.count,
              lines_per_search);
      return 1;
    }
  }
  printf("lines_per_search %zu\npeak_kib_start %ld\npeak_kib_loaded %ld\n", lines_per_search,
         before, loaded);
  printf("peak_kib_after_first %ld\npeak_kib_after_last %ld\nsearches %ld\n", first, peak_kib(),
         searches);
  return 0;
}
