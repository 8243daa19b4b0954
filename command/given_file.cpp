#include "given_file.h"

namespace command {

GivenFile readGivenFile(const std::string& argument, std::FILE* standardInput) {
    if (argument == kStandardInput) {
        return {"<stdin>", settings::readSettingsText(standardInput)};
    }
    return {argument, settings::readSettingsText(pathOf(argument))};
}

std::filesystem::path pathOf(const std::string& argument) { return std::u8string(argument.begin(), argument.end()); }

}  // namespace command
