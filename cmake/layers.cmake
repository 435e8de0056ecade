# layers.cmake -- the game's layers, and the rule that links point downwards.
#
#   land    records, files, textures, slope geometry, reach    (land/)
#   rules   what objects do                                     (objects/)
#   render  views, models, spheres                              (render/)
#   shell   input, screen modes, data paths, tapes, game loop  (shell/)
#   editor  the level editor                                    (editor/)
#   the program: the menu and its paths                        (shell/main.cpp)
#            and the files of the levels mode                  (levels/)
#
# A file may include the headers of its own layer and of the layers below it,
# never those above.  The tools, tests and benchmarks sit on top and include
# what they use.
#
# Included, it defines tavo_check_layers(ROOT) for the configure step.  Run as
# a script (cmake -DROOT=DIR -P layers.cmake) it checks the tree at DIR, so
# that every build checks again and a test can show it refusing.

# In rank order; the last is the program's own folder, of the same rank as
# shell/main.cpp, so that the two may include each other and nothing below
# may include either.
set(TAVO_LAYER_FOLDERS land objects render shell editor levels)

# The rank of a source file by its path inside ROOT, or -1 outside the layers.
function(tavo_layer_rank path out)
  if(path STREQUAL "shell/main.cpp")
    list(FIND TAVO_LAYER_FOLDERS levels rank)
    set(${out} ${rank} PARENT_SCOPE)
    return()
  endif()
  string(REGEX MATCH "^[a-z]+" folder "${path}")
  list(FIND TAVO_LAYER_FOLDERS "${folder}" rank)
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

function(tavo_check_layers root)
  get_filename_component(root "${root}" ABSOLUTE)
  set(faults "")
  foreach(folder IN LISTS TAVO_LAYER_FOLDERS)
    file(GLOB files RELATIVE ${root} ${root}/${folder}/*.cpp ${root}/${folder}/*.h)
    foreach(file IN LISTS files)
      tavo_layer_rank("${file}" own)
      file(STRINGS ${root}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z]+/")
      foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z]+)/.*" "\\1" target "${line}")
        list(FIND TAVO_LAYER_FOLDERS "${target}" rank)
        if(rank GREATER own)
          string(STRIP "${line}" line)
          list(APPEND faults "${file}: ${line} reaches up from ${folder}/ to ${target}/")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "A layer includes a higher layer's header; hand it what it needs instead:\n  ${text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND ROOT)
  tavo_check_layers(${ROOT})
endif()
