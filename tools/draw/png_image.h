// PNG files of RGBA images, through libpng.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace ravelin::draw {

// The PNG bytes of a `width` x `height` image, 4 bytes a pixel row by row from
// the top; libpng's message on failure.
std::expected<std::vector<std::uint8_t>, std::string> encode_png_rgba(std::span<const std::uint8_t> rgba,
                                                                      std::uint32_t width, std::uint32_t height);

}  // namespace ravelin::draw
