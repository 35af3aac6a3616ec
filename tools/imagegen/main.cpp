// Draws every picture of the window into resources/images and writes the
// resource list that names them. Run by hand (target "imagegen") after a
// change here; the pictures it writes are kept in the repository.
#include "Faces.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

const QColor kRed(0xe5, 0x48, 0x4d);
const QColor kTeal(0x12, 0xa5, 0x94);
const QColor kAmber(0xf5, 0xa5, 0x24);
const QColor kBlue(0x3e, 0x8e, 0xf7);
const QColor kPurple(0x8e, 0x6c, 0xef);
const QColor kGrey(0x9a, 0xa0, 0xa6);
const QColor kGreen(0x30, 0xa4, 0x6c);

std::vector<Face> faces()
{
    std::vector<Face> list = {
        {"logo", {256, 256}, Look::Logo, {}, Glyph::None, kBlue},
        {"bgURL", {101, 17}, Look::Hint, "paste address", Glyph::None, kGrey},
        {"btnYT", {118, 43}, Look::Button, "Video sites", Glyph::Play, kRed},
        {"btnOS", {118, 43}, Look::Button, "Other sites", Glyph::Globe, kTeal},
        {"btnSN", {118, 43}, Look::Button, "Sniffer", Glyph::Waves, kAmber},
        {"btnOptions", {27, 26}, Look::Button, {}, Glyph::Gear, kGrey},
        {"btnHelp", {27, 26}, Look::Button, {}, Glyph::Question, kBlue},
        {"btnBack", {53, 22}, Look::Button, "Back", Glyph::ArrowLeft, kBlue},
        {"btnProcessURL", {169, 47}, Look::Action, "Process URL", Glyph::ArrowRight, kBlue},
        {"btnVideoDL", {136, 46}, Look::Action, "Download video", Glyph::Film, kBlue},
        {"btnAudioDL", {136, 46}, Look::Action, "Download audio", Glyph::Note, kPurple},
        {"signSelect", {28, 23}, Look::Button, {}, Glyph::Folder, kAmber},
        {"signMP4", {87, 23}, Look::Badge, "MP4", Glyph::None, kBlue},
        {"sign3GP", {87, 23}, Look::Badge, "3GP", Glyph::None, kGreen},
        {"signFLV", {87, 23}, Look::Badge, "FLV", Glyph::None, QColor(0xd9, 0x7a, 0x1e)},
        {"signWebM", {87, 23}, Look::Badge, "WebM", Glyph::None, kPurple},
        {"signNONE", {87, 23}, Look::Badge, "?", Glyph::None, QColor(0x5b, 0x61, 0x6b)},
        {"cancel", {89, 37}, Look::Button, "Cancel", Glyph::Cross, kRed},
    };
    const std::vector<Face> sniffer = {
        {"btnPreviewOSN", {89, 37}, Look::Button, "Preview", Glyph::Eye, kTeal},
        {"btnRemoveOSN", {89, 37}, Look::Button, "Remove", Glyph::Trash, kRed},
        {"btnVideoOSN", {89, 37}, Look::Button, "Video", Glyph::Film, kBlue},
        {"btnAudioOSN", {89, 37}, Look::Button, "Audio", Glyph::Note, kPurple},
    };
    for (const Face &f : sniffer) {
        list.push_back(f);
        Face pressed = f;
        pressed.name += QLatin1String("clc");
        pressed.pressed = true;
        list.push_back(pressed);
    }
    // Buttons that sit side by side share one label size.
    for (Face &f : list) {
        if (f.label.isEmpty() || (f.look != Look::Button && f.look != Look::Action))
            continue;
        int px = fittedTextPx(f);
        for (const Face &other : list)
            if (other.size == f.size && other.look == f.look && !other.label.isEmpty())
                px = qMin(px, fittedTextPx(other));
        f.textPx = px;
    }
    return list;
}

bool writeQrc(const QString &path, const std::vector<Face> &list)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const Face &f : list)
        out << "    <file alias=\"" << f.name << "\">images/" << f.name << ".png</file>\n";
    out << "</qresource>\n</RCC>\n";
    out.flush();
    return file.error() == QFile::NoError;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s RESOURCES_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    if (!root.mkpath(QStringLiteral("images"))) {
        std::fprintf(stderr, "cannot create %s/images\n", argv[1]);
        return 1;
    }
    const std::vector<Face> list = faces();
    for (const Face &f : list) {
        const QString file = root.filePath(QStringLiteral("images/%1.png").arg(f.name));
        if (!drawFace(f).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    if (!writeQrc(root.filePath(QStringLiteral("resources.qrc")), list)) {
        std::fprintf(stderr, "cannot write resources.qrc\n");
        return 1;
    }
    std::printf("%zu pictures written to %s\n", list.size(), argv[1]);
    return 0;
}
