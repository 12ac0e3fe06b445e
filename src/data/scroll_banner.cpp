// The closing screen's scroll text, 1200 by 16 bytes (made by tools/assets/make_banner.py).
#include "data/assets.h"

extern const unsigned char asset_scroll_banner[];
extern const unsigned asset_scroll_banner_size;

const uint8_t* const ScrollBanner = asset_scroll_banner;
