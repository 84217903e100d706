# The SDK's editor host: a small real VST3 host that opens a plug-in's editor
# in a window. The SDK adds it only when it is the top project, so it is added
# here for the end-to-end editor test.
set(SMTG_ADD_VST3_HOSTING_SAMPLES ON)
set(SDK_IDE_HOSTING_EXAMPLES_FOLDER FOLDER HostingExamples)
add_subdirectory(${VST3_SDK_ROOT}/public.sdk/samples/vst-hosting/editorhost ${CMAKE_BINARY_DIR}/editorhost
                 EXCLUDE_FROM_ALL)
