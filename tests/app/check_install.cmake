# Installs the build into a fresh folder and checks that every file of the
# desktop integration is there. -DBUILD=<build dir> -DOUT=<folder>
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${OUT}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected
  bin/quillomat
  share/applications/quillomat.desktop
  share/metainfo/io.github.quillomat.Quillomat.metainfo.xml
  share/man/man1/quillomat.1.gz
  share/doc/quillomat/README.md
  share/doc/quillomat/copyright
  share/doc/quillomat/changelog.gz
  share/icons/hicolor/scalable/apps/quillomat.svg)
set(commands share/quillomat/commands/ntfy share/quillomat/commands/telegram
             share/quillomat/commands/mail)
list(APPEND expected ${commands})
foreach(size 16 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/quillomat.png)
endforeach()
foreach(path IN LISTS expected)
  if(NOT EXISTS "${OUT}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
# The ready commands are run as they lie.
foreach(path IN LISTS commands)
  execute_process(COMMAND test -x "${OUT}/${path}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "not executable: ${path}")
  endif()
endforeach()
file(REMOVE_RECURSE "${OUT}")
