// Placeholder until textures land.
#include "texture/texture.h"

Texture::Texture(const Bitmap&, bool mipmapped, int32_t) : mipmapped(mipmapped) {}
Texture::~Texture() = default;
void Texture::Upload() {}
void Texture::Release() {}
void Texture::Refresh() {}
void Texture::Bind() {}
void Texture::DrawPixels() {}
Vector3 Texture::ColorAt(float, float) { return {}; }
