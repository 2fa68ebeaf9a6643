# Helpers that keep the folder layout the architecture: a library is made from
# every source under its folders, and appears only once a folder holds code.

function(vidora_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wold-style-cast
                                           -Wnon-virtual-dtor -Woverloaded-virtual)
  if(VIDORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(VIDORA_SANITIZE)
  list(JOIN VIDORA_SANITIZE "," _vidora_san)
  add_compile_options(-fsanitize=${_vidora_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_vidora_san})
endif()

# vidora_library(NAME FOLDERS dir... [WIDGETS] LINK deps...)
# Sources under <dir>/**/widgets/ belong to the ui library only (no logic
# library includes a widget), so they are left out unless WIDGETS is given.
# The interface target NAME_all stands for "this library and everything
# below it", whether or not NAME itself has code yet.
function(vidora_library name)
  cmake_parse_arguments(ARG "WIDGETS" "" "FOLDERS;LINK" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_FOLDERS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
    list(APPEND sources ${found})
  endforeach()
  if(NOT ARG_WIDGETS)
    list(FILTER sources EXCLUDE REGEX "/widgets/")
  else()
    # At any depth: src/files/widgets, src/platform/media/widgets…
    file(GLOB_RECURSE widget_sources CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/src/*.h)
    list(FILTER widget_sources INCLUDE REGEX "/widgets/")
    list(APPEND sources ${widget_sources})
  endif()
  set(deps)
  foreach(dep IN LISTS ARG_LINK)
    if(TARGET ${dep}_all)
      list(APPEND deps ${dep}_all)
    else()
      list(APPEND deps ${dep})
    endif()
  endforeach()
  add_library(${name}_all INTERFACE)
  list(FILTER sources EXCLUDE REGEX "/src/ui/main\\.cpp$")
  # The office-export helper is a program of its own (cmake/VidoraOffice.cmake).
  list(FILTER sources EXCLUDE REGEX "/src/platform/office/")
  set(cpp_sources ${sources})
  list(FILTER cpp_sources INCLUDE REGEX "\\.cpp$")
  if(cpp_sources)
    add_library(${name} STATIC ${sources})
    vidora_target_defaults(${name})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${deps})
    target_link_libraries(${name}_all INTERFACE ${name})
  else()
    target_include_directories(${name}_all INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${name}_all INTERFACE ${deps})
  endif()
endfunction()
