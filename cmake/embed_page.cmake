# Joins the page files into one HTML text: each <link rel="stylesheet" href="F"> and <script src="F"></script>
# in index.html is replaced by the file's content inline, and inside an inlined file each line
# "//@include F" (or "/*@include F*/") by F's content, so one script can be kept in several files.
# Writes the joined page and a C++ source that carries it as g_page_html.
#   cmake -DPAGE_DIR=... -DPAGE_HTML=... -DPAGE_CPP=... -P embed_page.cmake
file(READ "${PAGE_DIR}/index.html" page)

function(read_with_includes name out)
  file(READ "${PAGE_DIR}/${name}" text)
  string(REGEX MATCHALL "(//@include [^\n]+|/\\*@include [^*]+\\*/)" includes "${text}")
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "^(//@include |/\\*@include )([^*]+)(\\*/)?$" "\\2" included "${include}")
    string(STRIP "${included}" included)
    read_with_includes("${included}" content)
    string(REPLACE "${include}" "${content}" text "${text}")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Replaces every tag matching PATTERN, whose file name is the first group, by ELEMENT around the file's text.
function(inline_tags pattern element)
  string(REGEX MATCHALL "${pattern}" tags "${page}")
  foreach(tag IN LISTS tags)
    string(REGEX REPLACE "${pattern}" "\\1" name "${tag}")
    read_with_includes("${name}" content)
    string(REPLACE "${tag}" "<${element}>\n${content}</${element}>" page "${page}")
  endforeach()
  set(page "${page}" PARENT_SCOPE)
endfunction()

inline_tags("<link rel=\"stylesheet\" href=\"([^\"]+)\">" style)
inline_tags("<script src=\"([^\"]+)\"></script>" script)

set(delimiter "PELLUCAN_PAGE")
string(FIND "${page}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "the page contains the raw-string delimiter )${delimiter}\"")
endif()

file(WRITE "${PAGE_HTML}.tmp" "${page}")
file(COPY_FILE "${PAGE_HTML}.tmp" "${PAGE_HTML}" ONLY_IF_DIFFERENT)
file(WRITE "${PAGE_CPP}.tmp"
  "// Generated from shell/page/ by cmake/embed_page.cmake; edit the page files instead.\n"
  "#include \"shell/page.h\"\n\n"
  "const char* const g_page_html = R\"${delimiter}(${page})${delimiter}\";\n")
file(COPY_FILE "${PAGE_CPP}.tmp" "${PAGE_CPP}" ONLY_IF_DIFFERENT)
