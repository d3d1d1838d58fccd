#include "xml/xml_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace sondrel {
namespace {

TEST(XmlFileTest, RootIsTheFirstElementAndTextIsTheFirstChild) {
  test::TempDir dir;
  dir.Write("a.xml",
            "<?xml version=\"1.0\"?><!-- c --><anything><k>v</k><e/><m><x/>t</m></anything>");
  const auto document = LoadXmlFile(dir.wide() + L"a.xml");
  ASSERT_NE(document, nullptr);
  const TiXmlElement* root = RootElement(*document);
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->Value(), "anything");
  EXPECT_EQ(ElementText(*root->FirstChildElement("k")), "v");
  EXPECT_EQ(ElementText(*root->FirstChildElement("e")), "");
  EXPECT_EQ(ElementText(*root->FirstChildElement("m")), "");  // first child is an element
}

TEST(XmlFileTest, MissingOrMalformedFilesGiveNothing) {
  test::TempDir dir;
  dir.Write("bad.xml", "<a><b></a>");
  dir.Write("empty.xml", "");
  EXPECT_EQ(LoadXmlFile(dir.wide() + L"missing.xml"), nullptr);
  EXPECT_EQ(LoadXmlFile(dir.wide() + L"bad.xml"), nullptr);
  EXPECT_EQ(LoadXmlFile(dir.wide() + L"empty.xml"), nullptr);
  std::filesystem::create_directory(dir.path() / "directory.xml");
  EXPECT_EQ(LoadXmlFile(dir.wide() + L"directory.xml"), nullptr);
}

}  // namespace
}  // namespace sondrel
