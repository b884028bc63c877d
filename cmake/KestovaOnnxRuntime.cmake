# Where the setup script caches what it fetches from the npm registry: ONNX Runtime (headers and
# the Linux library) and the voice detector's model. Found once; every user includes this file.
include_guard(GLOBAL)

if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(kestova_cache_home "$ENV{XDG_CACHE_HOME}")
else()
  set(kestova_cache_home "$ENV{HOME}/.cache")
endif()
set(KESTOVA_ORT_ROOT "${kestova_cache_home}/kestova/onnxruntime-0.4.9" CACHE PATH "ONNX Runtime (include/, lib/)")
find_path(KESTOVA_ORT_INCLUDE onnxruntime_cxx_api.h PATHS ${KESTOVA_ORT_ROOT}/include NO_DEFAULT_PATH)
find_library(KESTOVA_ORT_LIBRARY NAMES onnxruntime PATHS ${KESTOVA_ORT_ROOT}/lib NO_DEFAULT_PATH)

set(KESTOVA_VAD_MODEL_DIR "${kestova_cache_home}/kestova/silero-vad-1.0.3" CACHE PATH
    "The voice detector's model (silero_vad.onnx and its LICENSE)")
