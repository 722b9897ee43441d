# Lays out a standard AppDir. Run with cmake -P and these variables:
#   APPDIR      the AppDir to (re)create
#   EXECUTABLE  the program, installed as usr/bin/ZorvaManager
#   ICON        the program's 512 x 512 PNG icon
#   DESKTOP     the AppImage's desktop entry
#   APPRUN      the AppRun entry script
#   METAINFO    the AppStream metainfo file (optional)
#   UNPACK      the package unpacking helper, installed beside the program
#   CLI         the folder holding ZorvaManager.1 and ZorvaManager.bash-completion (optional;
#               each file is copied when it exists)
#   BUNDLE      ON: copy every shared library the programs need, except the base set that
#               every desktop has (below), into usr/lib, found through the programs'
#               RUNPATH $ORIGIN/../lib and the libraries' own $ORIGIN (needs patchelf)
# The icon sits at the top as zorvamanager.png (where the program looks first when it runs from
# the AppImage) and in the hicolor theme folder, with .DirIcon pointing at it.
foreach(variable APPDIR EXECUTABLE UNPACK ICON DESKTOP APPRUN)
    if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
        message(FATAL_ERROR "MakeAppDir.cmake needs -D${variable}=...")
    endif()
endforeach()

set(executable_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(file_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(hicolor "${APPDIR}/usr/share/icons/hicolor/512x512/apps")

file(REMOVE_RECURSE "${APPDIR}")
file(MAKE_DIRECTORY "${APPDIR}/usr/bin" "${hicolor}")

set(programs "${APPDIR}/usr/bin/ZorvaManager")
file(COPY_FILE "${EXECUTABLE}" "${APPDIR}/usr/bin/ZorvaManager")
# Installs extract only in the helper, never in-process: an AppDir without it would fail them all.
if(NOT EXISTS "${UNPACK}")
    message(FATAL_ERROR "the package unpacking helper is missing: ${UNPACK}")
endif()
file(COPY_FILE "${UNPACK}" "${APPDIR}/usr/bin/zorvamanager-unpack")
list(APPEND programs "${APPDIR}/usr/bin/zorvamanager-unpack")
file(CHMOD ${programs} PERMISSIONS ${executable_permissions})
file(COPY_FILE "${APPRUN}" "${APPDIR}/AppRun")
file(CHMOD "${APPDIR}/AppRun" PERMISSIONS ${executable_permissions})

file(COPY_FILE "${DESKTOP}" "${APPDIR}/com.zorvaplugins.ZorvaManager.desktop")
file(COPY_FILE "${ICON}" "${APPDIR}/zorvamanager.png")
file(COPY_FILE "${ICON}" "${hicolor}/zorvamanager.png")
set(data_files "${APPDIR}/com.zorvaplugins.ZorvaManager.desktop" "${APPDIR}/zorvamanager.png" "${hicolor}/zorvamanager.png")

if(DEFINED METAINFO AND NOT "${METAINFO}" STREQUAL "")
    file(MAKE_DIRECTORY "${APPDIR}/usr/share/metainfo")
    file(COPY_FILE "${METAINFO}" "${APPDIR}/usr/share/metainfo/com.zorvaplugins.ZorvaManager.metainfo.xml")
    list(APPEND data_files "${APPDIR}/usr/share/metainfo/com.zorvaplugins.ZorvaManager.metainfo.xml")
endif()

if(DEFINED CLI AND NOT "${CLI}" STREQUAL "")
    if(EXISTS "${CLI}/ZorvaManager.1")
        file(MAKE_DIRECTORY "${APPDIR}/usr/share/man/man1")
        file(COPY_FILE "${CLI}/ZorvaManager.1" "${APPDIR}/usr/share/man/man1/ZorvaManager.1")
        list(APPEND data_files "${APPDIR}/usr/share/man/man1/ZorvaManager.1")
    endif()
    if(EXISTS "${CLI}/ZorvaManager.bash-completion")
        set(completions "${APPDIR}/usr/share/bash-completion/completions")
        file(MAKE_DIRECTORY "${completions}")
        file(COPY_FILE "${CLI}/ZorvaManager.bash-completion" "${completions}/ZorvaManager")
        list(APPEND data_files "${completions}/ZorvaManager")
    endif()
endif()

file(CHMOD ${data_files} PERMISSIONS ${file_permissions})
file(CREATE_LINK "zorvamanager.png" "${APPDIR}/.DirIcon" SYMBOLIC)

if(NOT BUNDLE)
    return()
endif()

# The base set: libraries every desktop Linux system has, in versions that programs built on
# an older system can use. glibc and its companions, the GCC runtime, X11 and xcb, GL,
# fontconfig, FreeType, expat, zlib and ALSA. What they need in turn is theirs to bring.
set(base_libraries
    "^ld-linux.*" "^libc\\.so" "^libm\\.so" "^libmvec\\.so" "^libdl\\.so" "^libpthread\\.so" "^librt\\.so"
    "^libresolv\\.so" "^libutil\\.so" "^libnsl\\.so" "^libanl\\.so" "^libnss_" "^libBrokenLocale\\.so"
    "^libthread_db\\.so" "^libc_malloc_debug\\.so"
    "^libgcc_s\\.so" "^libstdc\\+\\+\\.so"
    "^libX[A-Za-z0-9]*\\.so" "^libxcb.*\\.so" "^libxshmfence\\.so"
    "^libGL\\.so" "^libGLX\\.so" "^libGLX_" "^libGLdispatch\\.so" "^libEGL\\.so" "^libOpenGL\\.so" "^libGLESv2\\.so"
    "^libfontconfig\\.so" "^libfreetype\\.so" "^libexpat\\.so" "^libz\\.so" "^libasound\\.so")

find_program(patchelf patchelf NO_CACHE)
find_program(objdump objdump NO_CACHE)
if(NOT patchelf OR NOT objdump)
    message(FATAL_ERROR "bundling the libraries needs patchelf and objdump")
endif()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM "linux+elf")
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL "objdump")
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${objdump}")
file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${programs}
    RESOLVED_DEPENDENCIES_VAR libraries
    UNRESOLVED_DEPENDENCIES_VAR unresolved
    PRE_EXCLUDE_REGEXES ${base_libraries})
if(unresolved)
    message(FATAL_ERROR "libraries the program needs are not found on this system: ${unresolved}")
endif()

file(MAKE_DIRECTORY "${APPDIR}/usr/lib")
foreach(library IN LISTS libraries)
    get_filename_component(name "${library}" NAME)
    # Under its name as the program asks for it (the link's name), from the real file.
    file(REAL_PATH "${library}" real)
    set(copy "${APPDIR}/usr/lib/${name}")
    file(COPY_FILE "${real}" "${copy}")
    file(CHMOD "${copy}" PERMISSIONS ${file_permissions})
    execute_process(COMMAND "${patchelf}" --set-rpath "$ORIGIN" "${copy}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "patchelf failed on ${copy}")
    endif()
endforeach()

foreach(program IN LISTS programs)
    execute_process(COMMAND "${patchelf}" --set-rpath "$ORIGIN/../lib" "${program}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "patchelf failed on ${program}")
    endif()
endforeach()
