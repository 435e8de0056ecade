# level_set.cmake -- writes the bundled set's set.txt from the land sources.
#
#   cmake -DSOURCES=DIR -DOUT=FILE -DTITLE=TEXT -P level_set.cmake
#
# Every DIR/*.land in file-name order, as DIR/NAME.land is built into
# NAME.lvl: "NAME.lvl<TAB>TITLE<TAB>HINT", the title and hint taken from the
# "# name:" and "# hint:" lines among the comments that open the source.  A
# source without a name stops the build, so that no bundled land is listed
# under its file name by mistake.  The values are only ever quoted, never
# taken as lists: a hint may hold a semicolon.

if(NOT SOURCES OR NOT OUT OR NOT TITLE)
  message(FATAL_ERROR "usage: cmake -DSOURCES=DIR -DOUT=FILE -DTITLE=TEXT -P level_set.cmake")
endif()

file(GLOB sources RELATIVE ${SOURCES} ${SOURCES}/*.land)
list(SORT sources)
set(text "${TITLE}\n")
foreach(source IN LISTS sources)
  file(READ ${SOURCES}/${source} content)
  # The comment lines before the first command.
  set(head "")
  if(content MATCHES "^(#[^\n]*\n|[ \t\r]*\n)+")
    set(head "${CMAKE_MATCH_0}")
  endif()
  set(name "")
  set(hint "")
  if(head MATCHES "(^|\n)#[ \t]*name:[ \t]*([^\n]*)")
    string(STRIP "${CMAKE_MATCH_2}" name)
  endif()
  if(head MATCHES "(^|\n)#[ \t]*hint:[ \t]*([^\n]*)")
    string(STRIP "${CMAKE_MATCH_2}" hint)
  endif()
  if(name STREQUAL "")
    message(FATAL_ERROR "${SOURCES}/${source}: no \"# name: TITLE\" line among its opening comments")
  endif()
  if("${name}${hint}" MATCHES "[\t\r]")
    message(FATAL_ERROR "${SOURCES}/${source}: a tab in its name or hint would split the line in set.txt")
  endif()
  string(REGEX REPLACE "\\.land$" ".lvl" land "${source}")
  if(hint STREQUAL "")
    string(APPEND text "${land}\t${name}\n")
  else()
    string(APPEND text "${land}\t${name}\t${hint}\n")
  endif()
endforeach()

# Written beside OUT and renamed, so that a build stopped half-way leaves no
# half-written set.
file(WRITE "${OUT}.tmp" "${text}")
file(RENAME "${OUT}.tmp" "${OUT}")
