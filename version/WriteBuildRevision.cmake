# cmake -DSOURCE_DIR=... -DOUTPUT=... -P WriteBuildRevision.cmake
# Writes the function that returns the git revision of SOURCE_DIR ("" when it
# is not a git checkout), touching OUTPUT only when its text changes.
set(revision "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(
    COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} describe --always --dirty --abbrev=12
    OUTPUT_VARIABLE described
    RESULT_VARIABLE result
    ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(result EQUAL 0 AND described MATCHES "^[0-9A-Za-z._-]+$")
    set(revision "${described}")
  endif()
endif()

set(text "// Generated at build time by WriteBuildRevision.cmake.\n")
string(APPEND text "const char* BuildRevisionText() { return \"${revision}\"; }\n")
set(previous "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} previous)
endif()
if(NOT previous STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
