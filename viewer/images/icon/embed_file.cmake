# Writes a C++ source that holds a file's bytes as constant data.
#   cmake -DINPUT=<file> -DOUTPUT=<source.cpp> -DNAME=<symbol> -DHEADER=<header>
#         -DNAMESPACE=<namespace> -P embed_file.cmake
# defines `const unsigned char <NAME>_data[]` and `const size_t <NAME>_size`
# in NAMESPACE, declared extern in HEADER.
foreach(var INPUT OUTPUT NAME HEADER NAMESPACE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed_file.cmake needs -D${var}=...")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes to a line.
set(bytes "")
set(line_start 0)
while(line_start LESS digits)
  string(SUBSTRING "${hex}" ${line_start} 32 line)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," line "${line}")
  string(APPEND bytes "  ${line}\n")
  math(EXPR line_start "${line_start} + 32")
endwhile()
get_filename_component(source_name "${INPUT}" NAME)

file(WRITE "${OUTPUT}"
"// Generated at build time from ${source_name}; do not edit.
#include \"${HEADER}\"

namespace ${NAMESPACE} {

extern const unsigned char ${NAME}_data[] = {
${bytes}};
extern const size_t ${NAME}_size = ${size};

}  // namespace ${NAMESPACE}
")
