#include "PaneTestFiles.h"

#include <QTreeWidget>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace telvora::test
{

std::string RealFile(const std::string& name)
{
    return (std::filesystem::path(TELVORA_TESTDATA_LAS) / name).string();
}

nlohmann::json Reference(const std::string& name)
{
    std::ifstream in(RealFile(name + ".json"));
    if (!in)
    {
        return nlohmann::json::object();
    }
    return nlohmann::json::parse(in);
}

bool HaveRealFiles()
{
    return std::filesystem::exists(RealFile("autzen.las")) &&
           std::filesystem::exists(RealFile("autzen.las.json"));
}

std::unique_ptr<CLasFileSet> SetOf(const std::vector<std::string>& paths)
{
    auto set = std::make_unique<CLasFileSet>(static_cast<std::int32_t>(paths.size()));
    for (std::size_t i = 0; i < paths.size(); ++i)
    {
        set->files[i].SetPath(paths[i].c_str());
        set->files[i].ReadHeader();
    }
    return set;
}

void PutU16(std::vector<unsigned char>& bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<unsigned char>(value & 0xFF);
    bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

void PutU32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
    {
        bytes[at + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
    }
}

void PutF64(std::vector<unsigned char>& bytes, std::size_t at, double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i)
    {
        bytes[at + i] = static_cast<unsigned char>((bits >> (8 * i)) & 0xFF);
    }
}

void PutText(std::vector<unsigned char>& bytes, std::size_t at, const std::string& text)
{
    std::memcpy(bytes.data() + at, text.data(), text.size());
}

std::vector<unsigned char> HeaderImage(std::uint8_t format, std::uint16_t recordLength,
                                       std::uint32_t pointCount, std::uint32_t vlrCount,
                                       std::uint32_t offsetToPointData)
{
    std::vector<unsigned char> image(227, 0);
    PutText(image, 0, "LASF");
    image[24] = 1;
    image[25] = 2;
    PutText(image, 26, "test bytes");
    PutU16(image, 94, 227);
    PutU32(image, 96, offsetToPointData);
    PutU32(image, 100, vlrCount);
    image[104] = format;
    PutU16(image, 105, recordLength);
    PutU32(image, 107, pointCount);
    for (std::size_t axis = 0; axis < 3; ++axis)
    {
        PutF64(image, 131 + 8 * axis, 0.01);
    }
    return image;
}

std::vector<unsigned char> VlrImage(const std::string& userId, std::uint16_t recordId,
                                    const std::string& description,
                                    const std::vector<unsigned char>& data)
{
    std::vector<unsigned char> image(54, 0);
    PutText(image, 2, userId.substr(0, 16));
    PutU16(image, 18, recordId);
    PutU16(image, 20, static_cast<std::uint16_t>(data.size()));
    PutText(image, 22, description.substr(0, 32));
    image.insert(image.end(), data.begin(), data.end());
    return image;
}

QTreeWidgetItem* ItemAt(const QTreeWidget* tree, const QStringList& names)
{
    QTreeWidgetItem* found = nullptr;
    for (const QString& name : names)
    {
        const int count = found != nullptr ? found->childCount() : tree->topLevelItemCount();
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < count && next == nullptr; ++i)
        {
            QTreeWidgetItem* candidate = found != nullptr ? found->child(i) : tree->topLevelItem(i);
            if (candidate->text(0) == name)
            {
                next = candidate;
            }
        }
        if (next == nullptr)
        {
            return nullptr;
        }
        found = next;
    }
    return found;
}

QStringList ShownTopNames(const QTreeWidget* tree)
{
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
    {
        if (!tree->topLevelItem(i)->isHidden())
        {
            names.push_back(tree->topLevelItem(i)->text(0));
        }
    }
    return names;
}

QString Escaped(const unsigned char* bytes, std::size_t width)
{
    QString text;
    for (std::size_t i = 0; i < width && bytes[i] != 0; ++i)
    {
        if (bytes[i] >= 32 && bytes[i] < 127)
        {
            text += QChar(bytes[i]);
        }
        else
        {
            char hex[3] = {};
            std::to_chars(hex, hex + 2, bytes[i] >> 4, 16);
            std::to_chars(hex + 1, hex + 2, bytes[i] & 15, 16);
            text += QStringLiteral("\\x") + QString::fromLatin1(hex, 2);
        }
    }
    return text;
}

QString Fixed6(double value)
{
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace telvora::test
