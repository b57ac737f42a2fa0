# docseek_legacy_codecs: the gb18030/GBK and Big5 codecs (glibc's iconv tables
# corrected by the generated encoding_tables.inc).
add_library(docseek_legacy_codecs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/gb18030.cpp
  ${CMAKE_CURRENT_LIST_DIR}/big5.cpp
  ${CMAKE_CURRENT_LIST_DIR}/legacy_index.cpp
)
target_include_directories(docseek_legacy_codecs PUBLIC ${PROJECT_SOURCE_DIR}/src)
