#include "track/VehicleKind.h"

#include <cctype>

#include "batch/AtomicFile.h"

namespace
{
// Each kind's word, in the enum's order from Unknown on.
const char* const KindWords[] = {"unknown",   "quadrotor", "hexarotor", "octorotor",   "helicopter", "plane", "vtol",
                                 "tailsitter", "paraglider", "hang-glider", "sailplane", "rover",      "boat"};
const int KindCount = static_cast<int>(sizeof KindWords / sizeof KindWords[0]);

// The longest source line kept: a file of ours holds a few words, anything longer is not.
const size_t MaximumSourceLength = 200;
} // namespace

const char* VehicleKindWord(VehicleKind kind)
{
    const int index = static_cast<int>(kind);
    return index > 0 && index < KindCount ? KindWords[index] : KindWords[0];
}

bool VehicleKindOfWord(const std::string& word, VehicleKind* kind)
{
    // "unknown" is no kind a user may name.
    for (int index = 1; index < KindCount; ++index)
        if (word == KindWords[index])
        {
            *kind = static_cast<VehicleKind>(index);
            return true;
        }
    return false;
}

std::string VehicleKindWords()
{
    std::string words;
    for (int index = 1; index < KindCount; ++index)
        words += std::string(index > 1 ? ", " : "") + KindWords[index];
    return words;
}

VehicleKind VehicleKindOfMavType(int type)
{
    switch (type)
    {
    case 1: // fixed wing
    case 16: // flapping wing: flies like one
        return VehicleKind::Plane;
    case 2:
    case 15: // a tricopter draws best as the nearest multirotor
        return VehicleKind::Quadrotor;
    case 3: // coaxial
    case 4:
        return VehicleKind::Helicopter;
    case 10:
        return VehicleKind::Rover;
    case 11:
        return VehicleKind::Boat;
    case 13:
        return VehicleKind::Hexarotor;
    case 14:
    case 29: // dodecarotor and decarotor: more rotors still, the octorotor the nearest model
    case 35:
        return VehicleKind::Octorotor;
    case 19: // tailsitters, duo- and quadrotor
    case 20:
    case 23:
        return VehicleKind::Tailsitter;
    case 21: // tiltrotor, fixed rotors, tiltwing: wings level in every phase
    case 22:
    case 24:
        return VehicleKind::VtolQuadplane;
    case 28: // parafoil
        return VehicleKind::Paraglider;
    default:
        return VehicleKind::Unknown;
    }
}

VehicleKind GliderKindOfSpeed(double medianSpeed)
{
    if (!(medianSpeed >= 6.0) || medianSpeed > 80.0)
        return VehicleKind::Unknown;
    if (medianSpeed <= 16.0)
        return VehicleKind::Paraglider;
    if (medianSpeed < 24.0)
        return VehicleKind::HangGlider;
    return VehicleKind::Sailplane;
}

VehicleKind GliderKindOfWords(const std::string& text)
{
    std::string lower;
    for (char c : text)
        lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const auto has = [&lower](const char* word) { return lower.find(word) != std::string::npos; };
    if (has("paraglid") || has("parapent") || has("gleitschirm") || has("parapendio"))
        return VehicleKind::Paraglider;
    if (has("hang") || has("drachen") || has("deltaplan"))
        return VehicleKind::HangGlider;
    // A sailplane's class: span classes ("15m", "18-meter"), the named ones.
    if (has("meter") || has("15m") || has("18m") || has("20m") || has("club") || has("standard") || has("open class") ||
        has("motor glider") || has("sailplane") || has("segelflug"))
        return VehicleKind::Sailplane;
    return VehicleKind::Unknown;
}

std::string VehiclePathFor(const std::string& logPath)
{
    return PathWithExtension(logPath, ".vehicle");
}

bool WriteVehicleIdentity(const std::string& path, const VehicleIdentity& identity, std::string* error)
{
    std::string source = identity.source.substr(0, MaximumSourceLength);
    for (char& c : source)
        if (c == '\n' || c == '\r')
            c = ' ';
    return WriteFileAtomically(path, std::string(VehicleKindWord(identity.kind)) + "\n" + source + "\n", error);
}

bool ReadVehicleIdentity(const std::string& path, VehicleIdentity* identity, std::string* error)
{
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error))
        return false;
    const size_t end = bytes.find('\n');
    std::string word = bytes.substr(0, end);
    if (!word.empty() && word.back() == '\r')
        word.pop_back();
    VehicleKind kind = VehicleKind::Unknown;
    if (!VehicleKindOfWord(word, &kind))
    {
        *error = path + ": the first line names no vehicle kind (" + VehicleKindWords() + ")";
        return false;
    }
    std::string source;
    if (end != std::string::npos)
    {
        const size_t next = bytes.find('\n', end + 1);
        source = bytes.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1);
        if (!source.empty() && source.back() == '\r')
            source.pop_back();
        source = source.substr(0, MaximumSourceLength);
    }
    identity->kind = kind;
    identity->source = source;
    return true;
}
