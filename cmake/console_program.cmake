# A console program of the product: a wide entry point, and a resource script
# that embeds the utility's application manifest (asInvoker), so that the
# linker must not add a manifest of its own. The resource compiler's
# dependency scan does not see the manifest it embeds.
function(pelmar_console_program target resource_script)
  set(manifest_folder ${PROJECT_SOURCE_DIR}/src/app)
  set_property(SOURCE ${resource_script} APPEND PROPERTY INCLUDE_DIRECTORIES ${manifest_folder})
  set_property(SOURCE ${resource_script} APPEND PROPERTY OBJECT_DEPENDS
    ${manifest_folder}/pelmar_omni_info.manifest)
  if(MSVC)
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  else()
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()
