// Image files decoded for the display host: one decoding per file, whatever
// name leads to it.
#include <gtest/gtest.h>

#include <string>

#include "render/images.h"
#include "render_support.h"
#include "temp_folder.h"

namespace {

TEST(ImageDecoding, AFileIsDecodedOnceWhateverItsName) {
  const TempFolder folder;
  const std::string path = folder.Write("a.png", ReadFile(ExamplesFolder() + "/images/logo.png"));
  ImageFiles images(folder.path());
  const ImageFound first = images.Find("a.png", 1);
  ASSERT_NE(first.image, nullptr) << first.error;
  for (const std::string& name : {std::string("./a.png"), std::string(".//a.png"), path}) {
    EXPECT_EQ(images.Find(name, 2).image, first.image) << name;
  }
}

}  // namespace
