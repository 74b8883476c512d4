# The Windows program: every unit but the entry goes into ps_app, which the
# Windows tests link as well.
add_library(ps_app STATIC
  forms/Wide.cpp
  forms/Controls.cpp
  forms/Forms.cpp
  forms/Dialogs.cpp
  forms/Streams.cpp
  filesys/FileOps.cpp
  filesys/WinFiles.cpp
  filesys/Staging.cpp
  filesys/ScratchFile.cpp
  filesys/FileCtrl.cpp
  filesys/SelectDirDlg.cpp
  archive/Compress.cpp
  support/Library.cpp
  support/Shelllink.cpp
  support/ShellApi.cpp
  setup/PatchSetup.cpp
  setup/PatchRun.cpp
  app/Layouts.cpp
  app/WaitDialog.cpp
)
target_compile_definitions(ps_app PUBLIC UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
target_link_libraries(ps_app PUBLIC ps_portable ole32 shell32 uuid gdi32 user32)
# The windows and handlers are small and rarely hot: optimised for size. The
# portable engine keeps the build type's speed optimisation.
target_compile_options(ps_app PRIVATE -Os)

# The patch archive carried as resource SMF/KASTER: the generated demo patch
# unless PATCH_ARCHIVE names another archive file.
set(PATCH_ARCHIVE "" CACHE FILEPATH "Patch archive to embed (default: the generated demo patch)")
if(PATCH_ARCHIVE)
  set(ps_archive_file ${PATCH_ARCHIVE})
else()
  include(ExternalProject)
  set(ps_host_tools ${CMAKE_BINARY_DIR}/host-tools)
  set(ps_archive_file ${ps_host_tools}/demo/patch.smf)
  ExternalProject_Add(demo_patch
    SOURCE_DIR ${PS_SOURCE_DIR}
    BINARY_DIR ${ps_host_tools}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
    BUILD_COMMAND ${CMAKE_COMMAND} --build . --target demo_archive
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ps_archive_file})
endif()
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/app/archive.rc.in ${CMAKE_CURRENT_BINARY_DIR}/archive.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/archive.rc PROPERTIES OBJECT_DEPENDS ${ps_archive_file})

set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --codepage=65001")
set(ps_resources ${CMAKE_CURRENT_SOURCE_DIR}/app/resources.rc)
if(NOT EXISTS ${ps_resources})
  set(ps_resources)
endif()
set(ps_resources ${ps_resources} PARENT_SCOPE)  # the Windows tests link them too
set(ps_archive_file ${ps_archive_file} PARENT_SCOPE)

add_executable(PatchSetup WIN32 app/main.cpp ${ps_resources} ${CMAKE_CURRENT_BINARY_DIR}/archive.rc)
target_link_libraries(PatchSetup PRIVATE ps_app)
target_link_options(PatchSetup PRIVATE -municode -s)
if(NOT PATCH_ARCHIVE)
  add_dependencies(PatchSetup demo_patch)
endif()

# The same program without the carried archive: what a damaged build does
# (the end-to-end tests check it reports the missing resource).
add_executable(PatchSetupNoArchive WIN32 app/main.cpp ${ps_resources})
target_link_libraries(PatchSetupNoArchive PRIVATE ps_app)
target_link_options(PatchSetupNoArchive PRIVATE -municode -s)

# The release stub: the program carrying an empty archive, which `packer
# build` replaces with a publisher's (run as it is, it reports failure, M3).
add_executable(PatchSetupStub WIN32 app/main.cpp ${ps_resources} app/stub-archive.rc)
target_link_libraries(PatchSetupStub PRIVATE ps_app)
target_link_options(PatchSetupStub PRIVATE -municode -s)
