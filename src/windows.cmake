# The Windows program: everything but the entry is in the layers, which the
# Windows tests link as well (ps_app).
add_library(ps_app INTERFACE)
target_link_libraries(ps_app INTERFACE ps_ui)

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
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/ui/archive.rc.in ${CMAKE_CURRENT_BINARY_DIR}/archive.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/archive.rc PROPERTIES OBJECT_DEPENDS ${ps_archive_file})

set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --codepage=65001")
set(ps_resources ${CMAKE_CURRENT_SOURCE_DIR}/ui/resources.rc)
if(NOT EXISTS ${ps_resources})
  set(ps_resources)
endif()
set(ps_resources ${ps_resources} PARENT_SCOPE)  # the Windows tests link them too
set(ps_archive_file ${ps_archive_file} PARENT_SCOPE)

add_executable(PatchSetup WIN32 app/main.cpp ${ps_resources} ${CMAKE_CURRENT_BINARY_DIR}/archive.rc)
target_link_libraries(PatchSetup PRIVATE ps_ui)
target_link_options(PatchSetup PRIVATE -municode -s)
if(NOT PATCH_ARCHIVE)
  add_dependencies(PatchSetup demo_patch)
endif()

# The same program without the carried archive: what a damaged build does
# (the end-to-end tests check it reports the missing resource).
add_executable(PatchSetupNoArchive WIN32 app/main.cpp ${ps_resources})
target_link_libraries(PatchSetupNoArchive PRIVATE ps_ui)
target_link_options(PatchSetupNoArchive PRIVATE -municode -s)

# The release stub: the program carrying an empty archive, which `packer
# build` replaces with a publisher's (run as it is, it reports failure, M3).
add_executable(PatchSetupStub WIN32 app/main.cpp ${ps_resources} ui/stub-archive.rc)
target_link_libraries(PatchSetupStub PRIVATE ps_ui)
target_link_options(PatchSetupStub PRIVATE -municode -s)
