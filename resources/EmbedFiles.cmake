# Writes a C++ source that holds each input file as a byte array named after the file in
# upper case ("button_play.svg" -> "BUTTON_PLAY"), with a NUL after the last byte so that
# text data can be handed on as a C string.
#   cmake -DOUTPUT=<file.cpp> -DINPUTS=<file|file|...> -P EmbedFiles.cmake
string(REPLACE "|" ";" inputs "${INPUTS}")
list(SORT inputs)

set(arrays "")
set(rows "")
set(index 0)
foreach(input IN LISTS inputs)
  get_filename_component(name "${input}" NAME_WE)
  string(TOUPPER "${name}" name)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kData${index}[] = {${bytes}0x00};\n")
  string(APPEND rows "    {\"${name}\", kData${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(content "// Made at build time from the files in resources/images; edit those, not this.
#include \"resources/EmbeddedResources.h\"

namespace frm {
namespace {

${arrays}
}  // namespace

namespace detail {

const EmbeddedResource embeddedResources[] = {
${rows}    {nullptr, nullptr, 0},
};
const std::size_t embeddedResourceCount = ${index};

}  // namespace detail
}  // namespace frm
")

file(WRITE "${OUTPUT}" "${content}")
