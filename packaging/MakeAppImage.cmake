# Packs an AppDir into an AppImage with appimagetool. Run with cmake -P and these variables:
#   APPDIR  the AppDir made by MakeAppDir.cmake
#   OUTPUT  the AppImage file to write
# appimagetool is looked for when this runs, so installing it later needs no new configure.
foreach(variable APPDIR OUTPUT)
    if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
        message(FATAL_ERROR "MakeAppImage.cmake needs -D${variable}=...")
    endif()
endforeach()

find_program(appimagetool NAMES appimagetool appimagetool-x86_64.AppImage NO_CACHE)

if(NOT appimagetool)
    message(FATAL_ERROR "appimagetool is missing: put it on PATH to build ${OUTPUT}. "
                        "The AppDir is ready at ${APPDIR}.")
endif()

file(REMOVE "${OUTPUT}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env ARCH=x86_64 "${appimagetool}" --no-appstream "${APPDIR}" "${OUTPUT}"
                RESULT_VARIABLE status)

if(NOT status EQUAL 0)
    message(FATAL_ERROR "appimagetool failed (${status})")
endif()

message(STATUS "Wrote ${OUTPUT}")
