# Lays out a standard AppDir. Run with cmake -P and these variables:
#   APPDIR      the AppDir to (re)create
#   EXECUTABLE  the program, installed as usr/bin/ZorvaManager
#   ICON        the program's 512 x 512 PNG icon
#   DESKTOP     the AppImage's desktop entry
#   APPRUN      the AppRun entry script
# The icon sits at the top as zorvamanager.png (where the program looks first when it runs from
# the AppImage) and in the hicolor theme folder, with .DirIcon pointing at it.
foreach(variable APPDIR EXECUTABLE ICON DESKTOP APPRUN)
    if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
        message(FATAL_ERROR "MakeAppDir.cmake needs -D${variable}=...")
    endif()
endforeach()

set(executable_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(file_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(hicolor "${APPDIR}/usr/share/icons/hicolor/512x512/apps")

file(REMOVE_RECURSE "${APPDIR}")
file(MAKE_DIRECTORY "${APPDIR}/usr/bin" "${hicolor}")

file(COPY_FILE "${EXECUTABLE}" "${APPDIR}/usr/bin/ZorvaManager")
file(CHMOD "${APPDIR}/usr/bin/ZorvaManager" PERMISSIONS ${executable_permissions})
file(COPY_FILE "${APPRUN}" "${APPDIR}/AppRun")
file(CHMOD "${APPDIR}/AppRun" PERMISSIONS ${executable_permissions})

file(COPY_FILE "${DESKTOP}" "${APPDIR}/com.zorvaplugins.ZorvaManager.desktop")
file(COPY_FILE "${ICON}" "${APPDIR}/zorvamanager.png")
file(COPY_FILE "${ICON}" "${hicolor}/zorvamanager.png")
file(CHMOD "${APPDIR}/com.zorvaplugins.ZorvaManager.desktop" "${APPDIR}/zorvamanager.png" "${hicolor}/zorvamanager.png"
     PERMISSIONS ${file_permissions})
file(CREATE_LINK "zorvamanager.png" "${APPDIR}/.DirIcon" SYMBOLIC)
