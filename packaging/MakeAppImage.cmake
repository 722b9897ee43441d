# Packs an AppDir into a type-2 AppImage: the runtime (runtime/) followed by a squashfs image
# of the AppDir, made with mksquashfs. Run with cmake -P and these variables:
#   APPDIR   the AppDir made by MakeAppDir.cmake
#   RUNTIME  the AppImage runtime
#   OUTPUT   the AppImage file to write
# The image is compressed with LZ4 at its high-compression setting: its decompression is the
# quickest, and every start reads the program and its libraries afresh through the mount (with
# zstd the image is a quarter smaller, but the window took twice as long as the plain build's to
# appear, against a third longer with LZ4; see bench/README.md). Owners, times and extended
# attributes are left out, so that the same AppDir gives the same bytes.
foreach(variable APPDIR RUNTIME OUTPUT)
    if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
        message(FATAL_ERROR "MakeAppImage.cmake needs -D${variable}=...")
    endif()
endforeach()

find_program(mksquashfs mksquashfs PATHS /usr/sbin /sbin NO_CACHE)
if(NOT mksquashfs)
    message(FATAL_ERROR "mksquashfs is missing (Debian package squashfs-tools)")
endif()

# The image starts where the runtime's ELF file ends, which is where its file ends.
execute_process(COMMAND "${RUNTIME}" --appimage-offset OUTPUT_VARIABLE offset OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE status)
file(SIZE "${RUNTIME}" runtime_size)
if(NOT status EQUAL 0 OR NOT offset STREQUAL runtime_size)
    message(FATAL_ERROR "the runtime's ELF end (${offset}) is not its size (${runtime_size})")
endif()

set(image "${OUTPUT}.squashfs")
file(REMOVE "${image}" "${OUTPUT}")
execute_process(COMMAND "${mksquashfs}" "${APPDIR}" "${image}" -noappend -all-root -no-xattrs -comp lz4 -Xhc
                        -mkfs-time 0 -all-time 0 -quiet -no-progress
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${image}")
    message(FATAL_ERROR "mksquashfs failed (${status})")
endif()

execute_process(COMMAND cat "${RUNTIME}" "${image}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
file(REMOVE "${image}")
if(NOT status EQUAL 0)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "cannot write ${OUTPUT}")
endif()
file(CHMOD "${OUTPUT}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
message(STATUS "Wrote ${OUTPUT}")
