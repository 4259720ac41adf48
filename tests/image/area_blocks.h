// Real AREA samples the navigation and satproc tests share.
#pragma once

namespace testutil {
constexpr const char *GVAR_AREA = "area/cmx3g8_wv_1998.260_0745_mcidas.ara";
constexpr const char *PS_AREA = "area/derived/pngarea_plain.area";
}  // namespace testutil
