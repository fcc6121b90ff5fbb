#include "PaneTestFiles.h"

#include <QTreeWidget>
#include <charconv>
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
