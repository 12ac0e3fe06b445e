// The five pictures, stored one after another in pictures.rgb (made by
// tools/assets/make_pictures.py).
#include "data/assets.h"

extern const unsigned char asset_pictures[];
extern const unsigned asset_pictures_size;

const uint8_t* const Picture0 = asset_pictures + 0 * kPictureBytes;
const uint8_t* const Picture1 = asset_pictures + 1 * kPictureBytes;
const uint8_t* const Picture2 = asset_pictures + 2 * kPictureBytes;
const uint8_t* const Picture3 = asset_pictures + 3 * kPictureBytes;
const uint8_t* const Picture4 = asset_pictures + 4 * kPictureBytes;
