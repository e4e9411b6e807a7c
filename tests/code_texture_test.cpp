#include "scene/code_texture.h"

#include "run/run_effect.h"
#include "scene/scene.h"
#include "tests/call_log.h"
#include "tests/fake_gl.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" const unsigned char etext[];

namespace {
// Two pages, the second unreadable: a region placed to end at the first page's end makes any read
// past its end fault.
class GuardedRegion {
  public:
    GuardedRegion()
    {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* map =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(map, MAP_FAILED);
        base_ = static_cast<unsigned char*>(map);
        EXPECT_EQ(mprotect(base_ + page_, page_, PROT_NONE), 0);
        for (std::size_t i = 0; i < page_; ++i)
            base_[i] = static_cast<unsigned char>(i * 7 + 3);
    }
    ~GuardedRegion() { munmap(base_, 2 * page_); }
    const unsigned char* end() const { return base_ + page_; }
    std::size_t page() const { return page_; }

  private:
    unsigned char* base_;
    std::size_t page_;
};

void fill_with(unsigned char (&image)[code_image_bytes], unsigned char value)
{
    std::memset(image, value, code_image_bytes);
}

TEST(CodeImage, RegionOfAtLeastTheImageSizeIsTakenAsItStands)
{
    GuardedRegion region;
    unsigned char image[code_image_bytes];
    for (std::size_t length : {code_image_bytes, code_image_bytes + 1, region.page()}) {
        fill_with(image, 0xAA);
        const unsigned char* start = region.end() - length;
        copy_code_image(start, region.end(), image);
        EXPECT_EQ(std::memcmp(image, start, code_image_bytes), 0) << length;
    }
}

TEST(CodeImage, ShorterRegionIsCopiedAndZeroFilledWithoutReadingPastItsEnd)
{
    GuardedRegion region;
    unsigned char image[code_image_bytes];
    for (std::size_t length :
         {std::size_t{0}, std::size_t{1}, std::size_t{574}, code_image_bytes - 1}) {
        fill_with(image, 0xAA);
        const unsigned char* start = region.end() - length;
        copy_code_image(start, region.end(), image);
        EXPECT_EQ(std::memcmp(image, start, length), 0) << length;
        EXPECT_TRUE(std::all_of(image + length, image + code_image_bytes, [](unsigned char byte) {
            return byte == 0;
        })) << length;
    }
}

TEST(CodeImage, EndBeforeStartGivesAnEmptyImage)
{
    GuardedRegion region;
    unsigned char image[code_image_bytes];
    fill_with(image, 0xAA);
    copy_code_image(region.end() - 10, region.end() - 20, image);
    EXPECT_TRUE(std::all_of(image, image + code_image_bytes, [](unsigned char b) { return !b; }));
}

TEST(CodeTexture, IsBuiltOnceFromTheMainRoutinesBytesAfterTheColourAndBeforeTheQuadric)
{
    call_log().clear();
    set_up_scene();
    const auto& log = call_log();
    const auto at = [&](const char* call) {
        return std::find_if(log.begin(), log.end(),
                            [&](const std::string& line) { return line.rfind(call, 0) == 0; });
    };
    EXPECT_LT(at("glColor4f"), at("gluBuild2DMipmaps"));
    EXPECT_LT(at("gluBuild2DMipmaps"), at("gluNewQuadric"));
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.rfind("glu", 0) == 0; }),
              4);

    const auto* main_routine = reinterpret_cast<const unsigned char*>(&run_effect);
    const std::size_t code = std::min<std::size_t>(etext - main_routine, code_image_bytes);
    const std::vector<unsigned char>& image = fake_gl_script().texture_image;
    ASSERT_EQ(image.size(), code_image_bytes);
    EXPECT_EQ(std::memcmp(image.data(), main_routine, code), 0);
    EXPECT_TRUE(std::all_of(image.begin() + static_cast<long>(code), image.end(),
                            [](unsigned char byte) { return byte == 0; }));
}
} // namespace

// The scene takes its texture from the main routine; here it stands in for the real one.
int run_effect()
{
    return 7;
}
