# packer.exe: the Windows packer for publishers (build, inspect, verify), made
# from the same sources as the Linux packer with the Windows platform parts.
add_library(ps_winpacklib STATIC
  ${CMAKE_CURRENT_LIST_DIR}/packlib/LzssEncoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/Progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/StreamScan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/PackNames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/EncodePool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/BlockReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/ArchiveWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/RecordShow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/FolderExtract.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/Verify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/Verdict.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/PeParse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/Certificates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/ResourceTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/ResourceWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/PeChecksum.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/PeRewrite.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/RandomFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/InstallerFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/ReleaseCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/HostFrontEnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/WinFrontEnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packlib/WinNames.cpp
)
target_include_directories(ps_winpacklib PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(ps_winpacklib PUBLIC UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601)
target_link_libraries(ps_winpacklib PUBLIC ps_portable)

add_executable(packer_win ${CMAKE_CURRENT_LIST_DIR}/packer_windows.cpp)
set_target_properties(packer_win PROPERTIES OUTPUT_NAME packer)
target_link_libraries(packer_win PRIVATE ps_winpacklib)
target_link_options(packer_win PRIVATE -municode -s)

# The packer deals in UTF-8 and UTF-16 names, so its literals stay UTF-8.
foreach(target ps_winpacklib packer_win)
  get_target_property(options ${target} COMPILE_OPTIONS)
  list(REMOVE_ITEM options -fexec-charset=CP932)
  set_target_properties(${target} PROPERTIES COMPILE_OPTIONS "${options}")
endforeach()
