# cmake -DQUERY=gdk-pixbuf-query-loaders -DMODULE=... -DMIME_XML=... -DWORK_DIR=... -P pixbuf_setup.cmake
# What an install registers, made in WORK_DIR: a loaders cache that lists the
# built module, and a MIME database with our types (GdkPixbuf picks a loader
# by the file's type, so .emz needs them).
execute_process(COMMAND ${QUERY} ${MODULE} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "\"vellora\"")
  message(FATAL_ERROR "${QUERY} ${MODULE} failed (${rc}):\n${out}\n${err}")
endif()
file(WRITE ${WORK_DIR}/loaders.cache "${out}")

file(REMOVE_RECURSE ${WORK_DIR}/share/mime)
file(COPY ${MIME_XML} DESTINATION ${WORK_DIR}/share/mime/packages)
execute_process(COMMAND update-mime-database ${WORK_DIR}/share/mime RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "update-mime-database failed (${rc}): ${err}")
endif()
