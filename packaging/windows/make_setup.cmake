# cmake -P script (cmake/windows-installer.cmake runs it): stages what the
# installer and the portable zip hold, then runs makensis.
#   STAGE/korvalux.exe, korvalux-service.exe   stripped
#   STAGE/HAND-M.CUR, data/<snapshot>          as built and as shipped
#   STAGE/LICENSE.txt, README.txt              with Windows' line ends
foreach(var STRIP MAKENSIS VERSION SOURCE_DIR STAGE OUTFILE WINDOW SERVICE CURSOR DATA)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_setup.cmake: -D${var}= is needed")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/data)
foreach(pair "${WINDOW}|korvalux.exe" "${SERVICE}|korvalux-service.exe")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  execute_process(COMMAND ${STRIP} -o ${STAGE}/${to} ${from} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(COPY ${CURSOR} DESTINATION ${STAGE})
file(COPY ${DATA} DESTINATION ${STAGE}/data)
foreach(text LICENSE README)
  file(READ ${SOURCE_DIR}/packaging/windows/${text}.txt content)
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE ${STAGE}/${text}.txt "${content}")
endforeach()

# -WX: a warning (a missing file, a version key) fails the build.
execute_process(
  COMMAND ${MAKENSIS} -V2 -WX -DVERSION=${VERSION} -DSTAGE=${STAGE} -DOUTFILE=${OUTFILE}
          ${SOURCE_DIR}/packaging/windows/korvalux.nsi
  COMMAND_ERROR_IS_FATAL ANY)
