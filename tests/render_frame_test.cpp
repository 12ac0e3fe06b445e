// The conversion frame shared by both renderers and all three block sizes: output size,
// placement, order, partial blocks and empty rectangles.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "render/quadrant_renderer.h"
#include "render/shade_renderer.h"

namespace {

using Conversion = void (TextRenderer::*)(const uint32_t*, SourceRect, int32_t, int32_t, int32_t,
                                          CellFrame&) const;

struct Shape {
    int k;
    Conversion convert;
};

const Shape kShapes[] = {
    {1, &TextRenderer::render1x1}, {2, &TextRenderer::render2x2}, {4, &TextRenderer::render4x4}};

constexpr uint16_t kUntouched = 0xabcd;

class ConversionFrameTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        renderers[0] = new QuadrantRenderer();
        renderers[1] = new ShadeRenderer();
        for (TextRenderer* renderer : renderers)
            renderer->buildTable(0xffff);
    }
    static void TearDownTestSuite() {
        for (TextRenderer*& renderer : renderers) {
            delete renderer;
            renderer = nullptr;
        }
    }

    static CellFrame untouchedFrame() {
        CellFrame frame;
        std::fill(std::begin(frame.cells), std::end(frame.cells), kUntouched);
        return frame;
    }

    static std::vector<uint32_t> randomPixels(size_t count, unsigned seed) {
        std::mt19937 random(seed);
        std::vector<uint32_t> pixels(count);
        for (uint32_t& p : pixels)
            p = random() & 0xffffff;
        return pixels;
    }

    // The cell of the one block whose top-left pixel is pixels[y * pitch + x].
    static uint16_t blockCell(const TextRenderer& renderer, const Shape& shape,
                              const uint32_t* pixels, int32_t pitch, int32_t x, int32_t y) {
        CellFrame single{};
        (renderer.*shape.convert)(pixels, SourceRect{x, y, x + shape.k, y + shape.k}, pitch, 0, 0,
                                  single);
        return single.cells[0];
    }

    static TextRenderer* renderers[2];
};

TextRenderer* ConversionFrameTest::renderers[2] = {};

TEST_F(ConversionFrameTest, CellsGoToTheirPlaceInRowOrder) {
    const std::vector<uint32_t> pixels = randomPixels(160 * 100, 1);
    for (const TextRenderer* renderer : renderers) {
        for (const Shape& shape : kShapes) {
            const int k = shape.k, left = 3, top = 5, columns = 7, rows = 4;
            const int cellX = 10, cellY = 20;
            CellFrame cells = untouchedFrame();
            (renderer->*shape.convert)(pixels.data(),
                                       SourceRect{left, top, left + columns * k, top + rows * k},
                                       160, cellX, cellY, cells);
            for (int y = 0; y < kScreenRows; ++y)
                for (int x = 0; x < kScreenColumns; ++x) {
                    const int column = x - cellX, row = y - cellY;
                    const bool inside = column >= 0 && column < columns && row >= 0 && row < rows;
                    const uint16_t expected = inside
                                                  ? blockCell(*renderer, shape, pixels.data(), 160,
                                                              left + k * column, top + k * row)
                                                  : kUntouched;
                    ASSERT_EQ(cells.cells[y * 80 + x], expected)
                        << "k " << k << " cell " << x << "," << y;
                }
        }
    }
}

TEST_F(ConversionFrameTest, WholeFrameFromTopLeft) {
    // An 80 by 50 output fills the frame: 80x50 pixels at 1x1, 160x100 at 2x2.
    const std::vector<uint32_t> pixels = randomPixels(160 * 100, 2);
    for (const TextRenderer* renderer : renderers) {
        for (int s = 0; s < 2; ++s) {
            const Shape& shape = kShapes[s];
            CellFrame cells = untouchedFrame();
            (renderer->*shape.convert)(pixels.data(), SourceRect{0, 0, 80 * shape.k, 50 * shape.k},
                                       160, 0, 0, cells);
            EXPECT_EQ(cells.cells[0], blockCell(*renderer, shape, pixels.data(), 160, 0, 0));
            EXPECT_EQ(cells.cells[kScreenCells - 1],
                      blockCell(*renderer, shape, pixels.data(), 160, 79 * shape.k, 49 * shape.k));
            EXPECT_EQ(std::count(std::begin(cells.cells), std::end(cells.cells), kUntouched), 0);
        }
    }
}

TEST_F(ConversionFrameTest, PartialBlocksAreNeitherConvertedNorRead) {
    // A rectangle one pixel too wide and k - 1 pixels too high for whole blocks, in a buffer
    // that ends right after it (an overrun shows under the address sanitizer). The extra
    // column and rows hold poison that must not change any cell.
    for (const TextRenderer* renderer : renderers) {
        for (const Shape& shape : kShapes) {
            if (shape.k == 1) continue;  // every pixel is a whole block
            const int k = shape.k, width = 40 * k + 1, height = 3 * k + k - 1;
            std::vector<uint32_t> pixels = randomPixels(static_cast<size_t>(width) * height, 3);
            CellFrame first = untouchedFrame();
            (renderer->*shape.convert)(pixels.data(), SourceRect{0, 0, width, height}, width, 0, 0,
                                       first);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (x == width - 1 || y >= 3 * k) pixels[y * width + x] ^= 0xffffff;
            CellFrame second = untouchedFrame();
            (renderer->*shape.convert)(pixels.data(), SourceRect{0, 0, width, height}, width, 0, 0,
                                       second);
            for (int y = 0; y < kScreenRows; ++y)
                for (int x = 0; x < kScreenColumns; ++x) {
                    const bool written = x < 40 && y < 3;
                    ASSERT_EQ(first.cells[y * 80 + x] != kUntouched, written)
                        << "k " << k << " cell " << x << "," << y;
                    ASSERT_EQ(first.cells[y * 80 + x], second.cells[y * 80 + x])
                        << "k " << k << " cell " << x << "," << y;
                }
        }
    }
}

TEST_F(ConversionFrameTest, EmptyRectanglesWriteNothing) {
    const std::vector<uint32_t> pixels = randomPixels(16 * 16, 4);
    for (const TextRenderer* renderer : renderers) {
        for (const Shape& shape : kShapes) {
            const int k = shape.k;
            const SourceRect empty[] = {
                {4, 4, 4, 12},  {8, 4, 4, 12},         {4, 4, 12, 4},         {4, 12, 12, 4},
                {12, 12, 4, 4}, {4, 4, 4 + k - 1, 12}, {4, 4, 12, 4 + k - 1},  // a partial block
                                                                               // alone is empty too
            };
            for (const SourceRect& rect : empty) {
                CellFrame cells = untouchedFrame();
                (renderer->*shape.convert)(pixels.data(), rect, 16, 0, 0, cells);
                EXPECT_EQ(std::count(std::begin(cells.cells), std::end(cells.cells), kUntouched),
                          kScreenCells)
                    << "k " << k << " rect " << rect.left << "," << rect.top << "," << rect.right
                    << "," << rect.bottom;
            }
        }
    }
}

TEST_F(ConversionFrameTest, NegativeCoordinatesAndPitchAddressTheBuffer) {
    // The same pixels seen from a pointer 4 rows and 4 columns into the buffer.
    const std::vector<uint32_t> pixels = randomPixels(32 * 32, 5);
    const uint32_t* inner = pixels.data() + 4 * 32 + 4;
    for (const TextRenderer* renderer : renderers) {
        for (const Shape& shape : kShapes) {
            CellFrame a = untouchedFrame(), b = untouchedFrame();
            (renderer->*shape.convert)(pixels.data(), SourceRect{0, 0, 24, 16}, 32, 2, 3, a);
            (renderer->*shape.convert)(inner, SourceRect{-4, -4, 20, 12}, 32, 2, 3, b);
            for (int i = 0; i < kScreenCells; ++i)
                ASSERT_EQ(a.cells[i], b.cells[i]) << i;
        }
    }
}

}  // namespace
