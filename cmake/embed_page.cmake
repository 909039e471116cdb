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

string(REGEX MATCHALL "<link rel=\"stylesheet\" href=\"[^\"]+\">" links "${page}")
foreach(link IN LISTS links)
  string(REGEX REPLACE ".*href=\"([^\"]+)\".*" "\\1" name "${link}")
  read_with_includes("${name}" content)
  string(REPLACE "${link}" "<style>\n${content}</style>" page "${page}")
endforeach()

string(REGEX MATCHALL "<script src=\"[^\"]+\"></script>" scripts "${page}")
foreach(script IN LISTS scripts)
  string(REGEX REPLACE ".*src=\"([^\"]+)\".*" "\\1" name "${script}")
  read_with_includes("${name}" content)
  string(REPLACE "${script}" "<script>\n${content}</script>" page "${page}")
endforeach()

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
