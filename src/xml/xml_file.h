// Reading the library's XML files with TinyXML.
#pragma once

#include <tinyxml.h>

#include <memory>
#include <string>

namespace sondrel {

// Loads and parses a file. Returns null when it cannot be opened or is not well-formed XML.
std::unique_ptr<TiXmlDocument> LoadXmlFile(const std::wstring& path);

// The first element of the document, whatever its name (null when there is none).
const TiXmlElement* RootElement(const TiXmlDocument& document);

// The text of an element's first child node when that node is text, else "".
std::string ElementText(const TiXmlElement& element);

}  // namespace sondrel
