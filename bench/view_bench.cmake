# The main view's polling on the paced simulator (see view_bench.cpp); view_process.sh measures
# the running program itself.
add_executable(quarnex-bench-view ${CMAKE_CURRENT_LIST_DIR}/view_bench.cpp)
target_link_libraries(quarnex-bench-view PRIVATE quarnex_monitor quarnex_panel quarnex_sim
    quarnex_testsupport)
