#include "export/BankParts.h"
#include "fileio/WaveFileWriter.h"

#include <cmath>
#include <stdexcept>

namespace tolvane {
namespace {

using bank::Wave;

// The DLS writer and its GigaSampler variant share the layout; these are the differences.
enum class Flavour { Dls, Giga };

RiffChunk leaf(const char (&id)[5], LittleEndianBytes body) {
    return RiffChunk::leaf(makeFourCC(id), std::move(body));
}

LittleEndianBytes words(std::initializer_list<std::uint32_t> values) {
    LittleEndianBytes body;
    for (const std::uint32_t v : values)
        body.u32(v);
    return body;
}

struct InfoField {
    const char id[5];
    const char* text;
    std::size_t gigaWidth;
};

RiffChunk collectionInfo(Flavour flavour) {
    static const std::string comment =
        std::string("Sound bank made with WaveTolvane: ") + bank::kMakerHomePage;
    const InfoField fields[] = {
        {"IARL", "", 256},
        {"IART", "", 128},
        {"ICMS", "", 128},
        {"ICMT", comment.c_str(), 1024},
        {"ICOP", bank::kRightsNotice, 128},
        {"ICRD", "", 128},
        {"IENG", "WaveTolvane", 128},
        {"IGNR", "", 128},
        {"IKEY", "", 128},
        {"IMED", "", 128},
        {"INAM", "WaveTolvane Collection", 128},
        {"IPRD", "", 128},
        {"ISBJ", "Created by WaveTolvane", 128},
        {"ISFT", "WaveTolvane sample editor", 128},
        {"ISRC", "", 128},
        {"ISRF", "", 128},
        {"ITCH", "", 128},
    };
    RiffChunk info = RiffChunk::list(makeFourCC("INFO"));
    for (const InfoField& field : fields) {
        LittleEndianBytes text;
        if (flavour == Flavour::Dls)
            text.terminatedText(field.text);
        else // fixed widths; the archival location is blank rather than empty
            text.fixedText(field.text, field.gigaWidth,
                           std::string_view(field.id) == "IARL" ? ' ' : 0);
        info.add(leaf(field.id, std::move(text)));
    }
    return info;
}

RiffChunk guidChunk(const Guid& guid) {
    LittleEndianBytes body;
    body.bytes(guid);
    return leaf("dlid", std::move(body));
}

// A "wsmp" with no loop; the GigaSampler's has room for one loop record after it.
RiffChunk sampleInfo(Flavour flavour, int unityNote, std::uint32_t options) {
    LittleEndianBytes body;
    body.u32(20).u16(static_cast<std::uint16_t>(unityNote)).u16(0).u32(0).u32(options).u32(0);
    if (flavour == Flavour::Giga)
        body.zeros(16);
    return leaf("wsmp", std::move(body));
}

// The GigaSampler's dimension list: stereo pairs are one dimension of two zones, each zone
// pointing at the same wave.
RiffChunk gigaDimensions(bool stereo, std::uint32_t wave) {
    LittleEndianBytes body;
    body.u32(stereo ? 2 : 1);
    if (stereo)
        body.u32(16777600);
    body.zeros(9 * 4);
    body.u32(stereo ? wave : 0).u32(wave);
    for (int i = 0; i < 30; ++i)
        body.u32(0xFFFFFFFF);
    if (!stereo)
        body.u32(wave);
    return leaf("3lnk", std::move(body));
}

RiffChunk gigaEnvelope() {
    return leaf("3ewa", words({140,        261247055,  0x80000000, 0,        0,          0,
                               0,          0x80000000, 31241431,   65536000, 0xFD968320, 0x80000000,
                               0x80000000, 0x80000000, 0xDC2B5F61, 65536000, 0x04B00000, 0x80000000,
                               0x80000000, 0,          0x7FFFFFFF, 0,        0x7FFFFFFF, 0,
                               0,          10,         0,          0,        0,          0,
                               0,          0,          3,          1311103,  212096}));
}

void addGigaRegionParts(RiffChunk& region, bool stereo, int key, std::uint32_t wave) {
    region.add(gigaDimensions(stereo, wave));
    RiffChunk program = RiffChunk::list(makeFourCC("3prg"));
    for (int c = 0; c < (stereo ? 2 : 1); ++c)
        program.add(RiffChunk::list(makeFourCC("3ewl"),
                                    {sampleInfo(Flavour::Giga, key, 0), gigaEnvelope()}));
    region.add(std::move(program));
    RiffChunk names = RiffChunk::list(makeFourCC("3dnl"));
    if (stereo)
        names.add(leaf("nam0", LittleEndianBytes().zeros(3)));
    region.add(std::move(names));
    LittleEndianBytes defaults;
    defaults.bytes(std::vector<std::uint8_t>(10, 0xFF));
    region.add(leaf("3ddp", std::move(defaults)));
}

RiffChunk region(Flavour flavour, const BankFile& file, const BankSettings& settings, int k) {
    const KeyRange keys = bank::segmentKeys(settings, k);
    const auto wave = static_cast<std::uint32_t>(k - 1);
    LittleEndianBytes header;
    header.u16(static_cast<std::uint16_t>(keys.low)).u16(static_cast<std::uint16_t>(keys.high));
    header.u16(0).u16(127).u16(1).u16(0);
    RiffChunk rgn = RiffChunk::list(
        makeFourCC("rgn "), {leaf("rgnh", std::move(header)), sampleInfo(flavour, keys.key, 0)});
    LittleEndianBytes link;
    link.u16(0).u16(0).u32(flavour == Flavour::Dls ? 1 : 0).u32(wave);
    rgn.add(leaf("wlnk", std::move(link)));
    if (flavour == Flavour::Giga)
        addGigaRegionParts(rgn, file.stereo, keys.key, wave);
    return rgn;
}

RiffChunk instrument(Flavour flavour, const BankFile& file, const BankSettings& settings) {
    RiffChunk ins = RiffChunk::list(makeFourCC("ins "));
    if (flavour == Flavour::Giga) {
        LittleEndianBytes name;
        name.fixedText(settings.keymap.bankName, 64);
        LittleEndianBytes software;
        software.fixedText("Dizuruv Azar", 12);
        ins.add(RiffChunk::list(makeFourCC("INFO"), {leaf("INAM", std::move(name)),
                                                     leaf("ISFT", std::move(software))}));
        ins.add(guidChunk(settings.newGuid()));
    }
    const auto count = static_cast<std::uint32_t>(file.segments.size());
    ins.add(leaf("insh", words({count, 0, 0})));
    RiffChunk regions = RiffChunk::list(makeFourCC("lrgn"));
    for (std::uint32_t k = 1; k <= count; ++k)
        regions.add(region(flavour, file, settings, static_cast<int>(k)));
    ins.add(std::move(regions));
    if (flavour == Flavour::Dls) {
        ins.add(RiffChunk::list(makeFourCC("lart"), {leaf("art1", words({8, 0}))}));
        ins.add(RiffChunk::list(makeFourCC("INFO")));
    } else {
        LittleEndianBytes group;
        group.u32(65530).u32(0xFFFF).bytes(std::vector<std::uint8_t>{'8', '#', 'L', 'I'});
        ins.add(RiffChunk::list(makeFourCC("lart"), {leaf("3ewg", std::move(group))}));
    }
    return RiffChunk::list(makeFourCC("lins"), {std::move(ins)});
}

RiffChunk gigaSampleGroups() {
    LittleEndianBytes name;
    name.fixedText("Default Sample Group", 20).zeros(44);
    return RiffChunk::list(makeFourCC("3gri"),
                           {RiffChunk::list(makeFourCC("3gnl"), {leaf("3gnm", std::move(name))})});
}

RiffChunk waveChunk(Flavour flavour, const SampleDocument& doc, const Wave& wave,
                    const std::string& name, int smoothAmount) {
    const auto channels =
        static_cast<std::uint16_t>(wave.segment.channelMode == kWriteBothChannels ? 2 : 1);
    LittleEndianBytes format = pcmFormat(channels, doc.SampleRate);
    RiffChunk data = RiffChunk::streamed(makeFourCC("data"), wave.length,
                                         [&doc, wave, smoothAmount](const ByteSink& out) {
                                             bank::produceWave(doc, wave, smoothAmount, 0, out);
                                         });
    if (flavour == Flavour::Dls) {
        format.u16(18);
        LittleEndianBytes title;
        title.terminatedText(name);
        return RiffChunk::list(
            makeFourCC("wave"),
            {leaf("fmt ", std::move(format)), sampleInfo(flavour, 60, 1), std::move(data),
             RiffChunk::list(makeFourCC("INFO"), {leaf("INAM", std::move(title))})});
    }
    LittleEndianBytes title;
    title.fixedText(name, 64);
    const auto period = static_cast<std::uint32_t>(std::lround(1e9 / doc.SampleRate));
    LittleEndianBytes sampler = words({0, 0, period, 60});
    sampler.zeros(11 * 4);
    return RiffChunk::list(makeFourCC("wave"),
                           {leaf("fmt ", std::move(format)),
                            RiffChunk::list(makeFourCC("INFO"), {leaf("INAM", std::move(title))}),
                            std::move(data), leaf("smpl", std::move(sampler)),
                            leaf("3gix", words({0}))});
}

void writeDownloadableSounds(Flavour flavour, const SampleDocument& doc, const BankFile& file,
                             const BankSettings& settings) {
    if (doc.SampleRate == 0)
        throw std::invalid_argument("a sound bank needs the sample's rate");
    RiffChunk bank = RiffChunk::riff(makeFourCC("DLS "), {collectionInfo(flavour)});
    if (flavour == Flavour::Dls) {
        bank.add(leaf("vers", LittleEndianBytes().u16(0).u16(1).u16(1).u16(0)));
        bank.add(leaf("colh", words({1})));
        bank.add(leaf("msyn", words({1})));
    } else {
        bank.add(leaf("vers", LittleEndianBytes().u16(0).u16(1).u16(57684).u16(304)));
        bank.add(leaf("colh", words({1})));
        bank.add(guidChunk(settings.newGuid()));
    }
    bank.add(instrument(flavour, file, settings));
    if (flavour == Flavour::Giga)
        bank.add(gigaSampleGroups());

    RiffChunk pool = RiffChunk::list(makeFourCC("wvpl"));
    for (std::size_t i = 0; i < file.segments.size(); ++i)
        pool.add(waveChunk(flavour, doc, bank::waveOf(file.segments[i], settings.smoothAmount),
                           bankSampleName(static_cast<int>(i) + 1, file.segments[i].digits),
                           settings.smoothAmount));
    LittleEndianBytes table;
    table.u32(8).u32(static_cast<std::uint32_t>(file.segments.size()));
    for (std::size_t i = 0; i < file.segments.size(); ++i)
        table.u32(static_cast<std::uint32_t>(pool.childOffset(i)));
    bank.add(leaf("ptbl", std::move(table)));
    bank.add(std::move(pool));
    bank::writeRiffFile(file.fileName, bank);
}

} // namespace

void writeDls(const SampleDocument& doc, const BankFile& file, const BankSettings& settings) {
    writeDownloadableSounds(Flavour::Dls, doc, file, settings);
}

void writeGigaSampler(const SampleDocument& doc, const BankFile& file,
                      const BankSettings& settings) {
    writeDownloadableSounds(Flavour::Giga, doc, file, settings);
}

} // namespace tolvane
