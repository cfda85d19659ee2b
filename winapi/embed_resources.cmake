# winapi_embed_resources(<target> <rcfile>)
#
# Reads the Windows resource script and adds to <target> a generated source
# that embeds its BITMAP and ICON files (assembler .incbin, so the bytes are
# the files themselves) and registers them, with its ACCELERATORS tables, by
# the script's ids before main() runs. The script stays the one source of
# truth: edit it and the next build re-reads it.
#
# Understood: `id BITMAP "file"`, `id ICON "file"` (optionally DISCARDABLE
# etc.), `id ACCELERATORS` with a BEGIN/END (or braces) block of entries
# `key, cmd[, VIRTKEY|ASCII][, NOINVERT][, SHIFT][, CONTROL][, ALT]` where key
# is a VK_ name, a number or a quoted character. Ids, keys and commands may be
# symbols: they are emitted as written and resolved by the compiler through
# <windows.h> and the script's own quoted #include files found next to it.
# Other statements (manifest, version info, LANGUAGE) are ignored.
function(winapi_embed_resources target rcfile)
  get_filename_component(rc "${rcfile}" ABSOLUTE)
  get_filename_component(rcdir "${rc}" DIRECTORY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${rc}")
  file(STRINGS "${rc}" lines)

  set(includes "")
  set(asm "")
  set(decls "")
  set(regs "")
  set(deps "")
  set(n 0)
  set(accelId "")
  set(inBlock FALSE)
  set(entries "")
  string(MAKE_C_IDENTIFIER "${target}" sym)

  foreach(line IN LISTS lines)
    string(REGEX REPLACE "//.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    if(line MATCHES "^#[ \t]*include[ \t]+\"([^\"]+)\"")
      set(inc "${CMAKE_MATCH_1}")
      if(EXISTS "${rcdir}/${inc}")
        string(APPEND includes "#include \"${rcdir}/${inc}\"\n")
        list(APPEND deps "${rcdir}/${inc}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${rcdir}/${inc}")
      endif()
    elseif(NOT accelId STREQUAL "")
      if(NOT inBlock)
        if(line MATCHES "^(BEGIN|{)$")
          set(inBlock TRUE)
        endif()
      elseif(line MATCHES "^(END|})$")
        list(LENGTH entries count)
        string(REPLACE ";" ",\n      " joined "${entries}")
        string(APPEND regs "  {\n    static const ACCEL table[] = {\n      ${joined}};\n"
                           "    winapiRegisterAccelerators(${accelId}, table, ${count});\n  }\n")
        set(accelId "")
        set(inBlock FALSE)
        set(entries "")
      else()
        string(REPLACE "," ";" parts "${line}")
        list(LENGTH parts count)
        if(count LESS 2)
          message(FATAL_ERROR "${rc}: accelerator entry not understood: ${line}")
        endif()
        list(GET parts 0 key)
        list(GET parts 1 cmd)
        string(STRIP "${key}" key)
        string(STRIP "${cmd}" cmd)
        set(flags "0")
        list(SUBLIST parts 2 -1 options)
        foreach(f IN LISTS options)
          string(STRIP "${f}" f)
          if(f MATCHES "^(VIRTKEY|NOINVERT|SHIFT|CONTROL|ALT)$") # FVIRTKEY, FNOINVERT...
            string(APPEND flags " | F${f}")
          elseif(NOT f STREQUAL "ASCII")
            message(FATAL_ERROR "${rc}: accelerator flag not understood: ${f}")
          endif()
        endforeach()
        if(key MATCHES "^\"\\^(.)\"$") # "^A": Ctrl+A as a character
          set(key "('${CMAKE_MATCH_1}' & 0x1F)")
        elseif(key MATCHES "^\"(.)\"$")
          set(key "'${CMAKE_MATCH_1}'")
        endif()
        list(APPEND entries "{(BYTE)(${flags}), (WORD)(${key}), (WORD)(${cmd})}")
      endif()
    elseif(line MATCHES "^([A-Za-z0-9_]+)[ \t]+(BITMAP|ICON)[ \t]+([A-Z \t]*)\"([^\"]+)\"")
      set(id "${CMAKE_MATCH_1}")
      if(CMAKE_MATCH_2 STREQUAL "BITMAP")
        set(type 2)
      else()
        set(type 14)
      endif()
      string(REPLACE "\\\\" "/" file "${CMAKE_MATCH_4}")
      string(REPLACE "\\" "/" file "${file}")
      get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${rcdir}")
      if(NOT EXISTS "${file}")
        message(FATAL_ERROR "${rc}: resource file not found: ${file}")
      endif()
      set(name "winapi_res_${sym}_${n}")
      string(APPEND asm "    \".balign 16\\n${name}:\\n.incbin \\\"${file}\\\"\\n${name}_end:\\n\"\n")
      string(APPEND decls "extern \"C\" const unsigned char ${name}[], ${name}_end[];\n")
      string(APPEND regs "  winapiRegisterResource(${id}, ${type}, ${name}, (size_t)(${name}_end - ${name}));\n")
      list(APPEND deps "${file}")
      math(EXPR n "${n} + 1")
    elseif(line MATCHES "^([A-Za-z0-9_]+)[ \t]+ACCELERATORS")
      set(accelId "${CMAKE_MATCH_1}")
    endif()
  endforeach()

  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
  file(WRITE "${out}.tmp"
    "// Generated from ${rc} by winapi_embed_resources(); do not edit.\n"
    "#include <windows.h>\n#include <winapi_resources.h>\n${includes}\n"
    "__asm__(\".section .rodata\\n\"\n${asm}    \".previous\\n\");\n${decls}\n"
    "namespace {\nstruct Registration {\n  Registration() {\n${regs}  }\n} registration;\n}\n")
  configure_file("${out}.tmp" "${out}" COPYONLY)
  target_sources(${target} PRIVATE "${out}")
  set_source_files_properties("${out}" PROPERTIES OBJECT_DEPENDS "${deps}" INCLUDE_DIRECTORIES
                              "$<TARGET_PROPERTY:winapi,INTERFACE_INCLUDE_DIRECTORIES>")
endfunction()
