#include "discwright/DiscImageFile.h"

#include "app/Error.h"
#include "discwright/DriveFailure.h"
#include "discwright/internal/JolietTree.h"
#include "platform/File.h"
#include "platform/Platform.h"

namespace torvinel {

void writeDiscImageFile(const std::string& sourceFolder, const std::string& label,
                        const std::vector<std::string>& first, const std::string& target)
{
    const std::string part = target + ".part";
    const auto failed = [&](const std::string& reason) {
        static_cast<void>(platform::deleteFile(part));
        return Error("Could not write " + target + ": " + reason);
    };
    try {
        JolietTree tree(nullptr, nullptr);
        IsoDir* top = tree.add(sourceFolder, label, tree.root());
        for (const std::string& name : first)
            tree.placeFirst(top, name);
        tree.buildImage(0, label, "Quenmark", "Torvinel");
        platform::File file = platform::File::open(part, platform::FileMode::Create);
        if (!file.isOpen())
            throw failed("it cannot be created");
        uint64_t written = 0;
        bool writeFailed = false;
        tree.pumpImage(
            [&](const uint8_t* data, std::size_t size) {
                writeFailed = writeFailed || file.writeAt(data, size, written) != static_cast<int64_t>(size);
                written += size;
            },
            {});
        if (writeFailed || written != static_cast<uint64_t>(tree.imageSize()) || !file.sync() || !file.close())
            throw failed("the image could not be written whole");
    } catch (const DriveFailure& failure) {
        throw failed(failure.what());
    }
    if (!platform::replaceFile(part, target))
        throw failed("it cannot be replaced");
}

} // namespace torvinel
