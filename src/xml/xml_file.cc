#include "xml/xml_file.h"

#include <cstdio>

#include "platform/file_system.h"

namespace sondrel {

std::unique_ptr<TiXmlDocument> LoadXmlFile(const std::wstring& path) {
  // A directory opens like a file here, but its length is nonsense to the parser.
  if (platform::DirectoryExists(path)) {
    return nullptr;
  }
  std::FILE* file = std::fopen(platform::NativePath(path).c_str(), "rb");
  if (file == nullptr) {
    return nullptr;
  }
  auto document = std::make_unique<TiXmlDocument>();
  const bool parsed = document->LoadFile(file, TIXML_ENCODING_UTF8);
  std::fclose(file);
  if (!parsed) {
    return nullptr;
  }
  return document;
}

const TiXmlElement* RootElement(const TiXmlDocument& document) {
  return document.FirstChildElement();
}

std::string ElementText(const TiXmlElement& element) {
  const TiXmlNode* first = element.FirstChild();
  if (first == nullptr || first->ToText() == nullptr) {
    return {};
  }
  return first->ValueStr();
}

}  // namespace sondrel
