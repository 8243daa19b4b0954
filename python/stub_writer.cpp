// Writes the package's type stubs: the template given, with the classes of
// the sections and the attributes of each setting made from the table.
//   stub_writer TEMPLATE OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "section_names.h"
#include "settings/table.h"

namespace {

std::string_view pythonType(settings::ValueType type) {
    return type == settings::ValueType::integer ? "int" : type == settings::ValueType::real ? "float" : "str";
}

// "    name: type\n" for each setting of `section` ("" for the top level).
std::string attributes(std::string_view section) {
    std::string out;
    settings::forEachSetting([&](const auto& row) {
        if (row.section() == section) {
            out.append("    ").append(row.name()).append(": ").append(pythonType(row.type)).append("\n");
        }
    });
    return out;
}

void replace(std::string& text, std::string_view marker, const std::string& with) {
    text.replace(text.find(marker), marker.size() + 1, with);  // the marker's line end too
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: stub_writer TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream template_;
    template_ << in.rdbuf();
    std::string text = template_.str();
    std::string sections;
    std::string properties = attributes("");
    for (const std::string_view section : settings::kSections) {
        const std::string name = settings::python_binding::sectionClassName(section);
        sections.append("class ").append(name).append(":\n").append(attributes(section)).append("\n");
        properties.append("    @property\n    def ")
            .append(section)
            .append("(self) -> ")
            .append(name)
            .append(": ...\n");
    }
    replace(text, "@SECTIONS@", sections);
    replace(text, "@CONFIG@", properties);
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    out.close();
    return in && out ? 0 : 1;
}
