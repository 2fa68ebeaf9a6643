# The office-export helper (src/platform/office): a program of its own that
# links LibreOffice's UNO libraries, built only where the LibreOffice SDK is
# installed. Vidora itself never links UNO; it starts this helper per export.
#
# Its C++ headers are generated at build time by cppumaker from the office's
# type libraries. Debian 12: libreoffice-dev (cppumaker, the UNO headers and
# libraries), ure (types.rdb), libreoffice-core-nogui (offapi.rdb).
set(VIDORA_LO_PROGRAM_DIR /usr/lib/libreoffice/program CACHE PATH "LibreOffice's program folder")
set(VIDORA_LO_SDK_DIR /usr/lib/libreoffice/sdk CACHE PATH "LibreOffice's SDK folder")

find_program(VIDORA_CPPUMAKER cppumaker PATHS ${VIDORA_LO_SDK_DIR}/bin NO_DEFAULT_PATH)
find_path(VIDORA_UNO_INCLUDE sal/config.h PATHS /usr/include/libreoffice ${VIDORA_LO_SDK_DIR}/include)
find_file(VIDORA_TYPES_RDB types.rdb PATHS ${VIDORA_LO_PROGRAM_DIR} NO_DEFAULT_PATH)
find_file(VIDORA_OFFAPI_RDB offapi.rdb PATHS ${VIDORA_LO_PROGRAM_DIR}/types NO_DEFAULT_PATH)
find_library(VIDORA_UNO_CPPU uno_cppu PATHS ${VIDORA_LO_SDK_DIR}/lib NO_DEFAULT_PATH)
find_library(VIDORA_UNO_CPPUHELPER uno_cppuhelpergcc3 PATHS ${VIDORA_LO_SDK_DIR}/lib NO_DEFAULT_PATH)
find_library(VIDORA_UNO_SAL uno_sal PATHS ${VIDORA_LO_SDK_DIR}/lib NO_DEFAULT_PATH)

if(VIDORA_CPPUMAKER AND VIDORA_UNO_INCLUDE AND VIDORA_TYPES_RDB AND VIDORA_OFFAPI_RDB
   AND VIDORA_UNO_CPPU AND VIDORA_UNO_CPPUHELPER AND VIDORA_UNO_SAL)
  set(VIDORA_OFFICE_HELPER ON)
  set(uno_headers ${CMAKE_BINARY_DIR}/uno-headers)
  add_custom_command(
    OUTPUT ${uno_headers}/stamp
    COMMAND ${CMAKE_COMMAND} -E remove_directory ${uno_headers}
    COMMAND ${VIDORA_CPPUMAKER} -O${uno_headers} ${VIDORA_TYPES_RDB} ${VIDORA_OFFAPI_RDB}
    COMMAND ${CMAKE_COMMAND} -E touch ${uno_headers}/stamp
    DEPENDS ${VIDORA_TYPES_RDB} ${VIDORA_OFFAPI_RDB}
    COMMENT "Generating the UNO C++ headers with cppumaker")
  add_custom_target(vidora_uno_headers DEPENDS ${uno_headers}/stamp)

  file(GLOB office_sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/office/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/office/*.h)
  add_executable(vidora-office ${office_sources})
  add_dependencies(vidora-office vidora_uno_headers)
  vidora_target_defaults(vidora-office)
  target_compile_definitions(vidora-office PRIVATE UNX GCC LINUX CPPU_ENV=gcc3)
  # The UNO headers are not ours: no warnings from them.
  target_include_directories(vidora-office SYSTEM PRIVATE ${uno_headers} ${VIDORA_UNO_INCLUDE})
  # The UNO bridge's proxies fail the vptr sanitizer's checks.
  if(VIDORA_SANITIZE MATCHES "undefined")
    target_compile_options(vidora-office PRIVATE -fno-sanitize=vptr)
    target_link_options(vidora-office PRIVATE -fno-sanitize=vptr)
  endif()
  # Under ThreadSanitizer the helper's runtime reports inside the UNO bridge
  # (its reader thread still receives on the pipe that osl_closePipe closes
  # when the bridge goes down), and a report on the standard error fails the
  # export. Its threads are UNO's but for the watchdog: built without it.
  if(VIDORA_SANITIZE MATCHES "thread")
    target_compile_options(vidora-office PRIVATE -fno-sanitize=thread)
    target_link_options(vidora-office PRIVATE -fno-sanitize=thread)
  endif()
  target_link_libraries(vidora-office PRIVATE Qt6::Core
                        ${VIDORA_UNO_CPPUHELPER} ${VIDORA_UNO_CPPU} ${VIDORA_UNO_SAL})
  set_target_properties(vidora-office PROPERTIES
    BUILD_RPATH ${VIDORA_LO_PROGRAM_DIR}
    INSTALL_RPATH ${VIDORA_LO_PROGRAM_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  message(STATUS "LibreOffice SDK found: building vidora-office")
else()
  set(VIDORA_OFFICE_HELPER OFF)
  message(STATUS "LibreOffice SDK not found: vidora-office is not built (install libreoffice-dev)")
endif()
