# The test flow_order: each folder of the monitor includes only from itself
# and the folders before it in the order data flows, as its library links
# only theirs. ROOT is the source tree.
#   cmake -DROOT=. -P tools/monitor/flow_order.cmake
set(flow src/protocol tools/monitor/input tools/monitor/pixels tools/monitor/timeline tools/monitor/scene
    tools/monitor/print tools/monitor/render tools/monitor/pipeline tools/monitor/export tools/monitor/http)
list(TRANSFORM flow REPLACE ".*/" "" OUTPUT_VARIABLE names)
get_filename_component(ROOT ${ROOT} ABSOLUTE)

set(against 0)
foreach(folder IN LISTS flow)
  get_filename_component(name ${folder} NAME)
  list(FIND names ${name} rank)
  file(GLOB files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "([\"<])(([^\"</>]*)/)?([^\">]*)" _ "${line}")
      set(quote "${CMAKE_MATCH_1}")
      set(dir "${CMAKE_MATCH_3}")
      set(used -1)
      if(dir)
        list(FIND names ${dir} used)
      endif()
      # In angle brackets: a system's header, unless its folder is one of ours.
      if(quote STREQUAL "<" AND used EQUAL -1)
        continue()
      endif()
      # Without a folder: a header beside the file, or one of the top
      # level's (the command line), which comes last.
      if(NOT dir AND EXISTS ${ROOT}/${folder}/${CMAKE_MATCH_4})
        set(used ${rank})
      endif()
      if(used EQUAL -1 OR used GREATER rank)
        file(RELATIVE_PATH shown ${ROOT} ${file})
        message("${shown}: ${line}: against the flow (${names})")
        math(EXPR against "${against} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()
if(against GREATER 0)
  message(FATAL_ERROR "${against} includes against the flow")
endif()
