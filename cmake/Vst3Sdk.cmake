# Locates the VST3 SDK cache made by scripts/setup.sh and adds the SDK's
# libraries to the build. Only targets that Riser links are built.
include("${CMAKE_CURRENT_LIST_DIR}/RiserCachePath.cmake")
riser_cache_path(_riser_sdk_default VST3_SDK_ROOT vst3sdk-3.7.4)
set(VST3_SDK_ROOT "${_riser_sdk_default}" CACHE PATH "VST3 SDK 3.7.4 source tree")

if(NOT EXISTS "${VST3_SDK_ROOT}/pluginterfaces/base/funknown.h")
  message(FATAL_ERROR "VST3 SDK not found at ${VST3_SDK_ROOT}. Run scripts/setup.sh first "
                      "(or set VST3_SDK_ROOT to an SDK 3.7.4 tree).")
endif()

# Facts about this SDK on GCC 12 / Debian 12:
#  - funknown.cpp does not compile with <stdatomic.h> in C++ mode;
#  - no build may link plug-ins into ~/.vst3;
#  - the validator runs as a test, not after every build.
set(SMTG_USE_STDATOMIC_H 0 CACHE INTERNAL "")
set(SMTG_CREATE_PLUGIN_LINK OFF CACHE BOOL "" FORCE)
set(SMTG_RUN_VST_VALIDATOR OFF CACHE BOOL "" FORCE)
set(SMTG_ADD_VST3_PLUGINS_SAMPLES OFF CACHE BOOL "" FORCE)
set(SMTG_ADD_VST3_HOSTING_SAMPLES OFF CACHE BOOL "" FORCE)
set(SMTG_ADD_VSTGUI ON CACHE BOOL "" FORCE)

if(MINGW)
  add_subdirectory("${CMAKE_CURRENT_LIST_DIR}/vst3sdk-mingw" "${CMAKE_BINARY_DIR}/vst3sdk" EXCLUDE_FROM_ALL)
else()
  add_subdirectory("${VST3_SDK_ROOT}" "${CMAKE_BINARY_DIR}/vst3sdk" EXCLUDE_FROM_ALL)
endif()

# The SDK sets these in its own scope; the SDK helpers used here need them.
list(APPEND CMAKE_MODULE_PATH "${VST3_SDK_ROOT}/cmake/modules")
set(SDK_ROOT "${VST3_SDK_ROOT}")
set(public_sdk_SOURCE_DIR "${VST3_SDK_ROOT}/public.sdk")
set(pluginterfaces_SOURCE_DIR "${VST3_SDK_ROOT}/pluginterfaces")
include(SMTG_VST3_SDK)

if(MINGW)
  # MinGW's dwrite_3.h declares IDWriteFontSet::GetMatchingFonts under the
  # name GetMatchingFonts_ (C headers cannot overload); VSTGUI's Direct2D font
  # code calls it by its Windows SDK name.
  get_target_property(_riser_vstgui_dir vstgui SOURCE_DIR)
  set_source_files_properties("${_riser_vstgui_dir}/platform/win32/direct2d/d2dfont.cpp"
    DIRECTORY "${_riser_vstgui_dir}" PROPERTIES COMPILE_DEFINITIONS "GetMatchingFonts=GetMatchingFonts_")
  # The system libraries VSTGUI names with `#pragma comment(lib)`, which only
  # Microsoft's linker reads.
  target_link_libraries(vstgui INTERFACE
    shlwapi opengl32 glu32 d2d1 dwrite windowscodecs dwmapi ole32 oleaut32 uuid comdlg32 imm32 winmm)
endif()
