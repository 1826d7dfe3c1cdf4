#pragma once
#include <string>
#include <vector>

namespace torvinel {

// Writes the files of sourceFolder into target as the image of a disc of one session, laid out
// as a burn lays out a disc: ISO 9660 with Joliet and Rock Ridge, one top folder and the volume
// label both named label, publisher "Quenmark", application "Torvinel", and the data of the
// entries of the top folder that first names (those present) leading the others. The image is
// written beside target and renamed over it once whole, so a failure leaves no half image.
// Raises Error "Could not write <target>: <reason>".
void writeDiscImageFile(const std::string& sourceFolder, const std::string& label,
                        const std::vector<std::string>& first, const std::string& target);

} // namespace torvinel
