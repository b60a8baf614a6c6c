# add_plugin(NAME core-target sources...): a plug-in library named NAME that
# exports only "main", built from the framework's entry and the given sources.
function(add_plugin name core)
  add_library(${name} SHARED ${PROJECT_SOURCE_DIR}/framework/src/pluginEntry.cpp ${ARGN})
  target_link_libraries(${name} PRIVATE ${core} framework)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  if(WIN32)
    set(PLUGIN_NAME ${name})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/plugin.def.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.def @ONLY)
    target_sources(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    # Statically linked runtime: the DLL imports only Windows system DLLs.
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++
                        -Wl,--kill-at -Wl,--no-insert-timestamp)
  else()
    target_link_options(${name} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin.map
                        -Wl,-z,now)
    if(PLUGIN_STRICT_LINK)
      target_link_options(${name} PRIVATE -static-libgcc -static-libstdc++ -Wl,-z,defs)
      target_compile_definitions(${name} PRIVATE PLUGIN_OWN_CXX_RUNTIME)
    endif()
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/plugin.map)
  endif()
  set_property(GLOBAL APPEND PROPERTY PLUGIN_TARGETS ${name})
endfunction()
