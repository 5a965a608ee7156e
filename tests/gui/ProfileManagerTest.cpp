// "Sampler profile manager": its lists from real MIDI components (on ports in memory) and a
// SCSI bus whose targets are simulated samplers, storing, loading and deleting profiles with
// every message, and "&Profile Manager" in the editor.
#include "WindowTestSupport.h"
#include "app/controls/UpDown.h"
#include "app/dialogs/Tpreform.h"
#include "fakes/AkaiS2000Sampler.h"
#include "fakes/FakeMidi.h"
#include "fakes/SmdiSampler.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "samplers/ProfileStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <fstream>

namespace tolvane::test {
namespace {

QStringList itemsOf(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

std::unique_ptr<ScsiBus> socketBus(std::vector<std::string> sockets) {
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    adaptors.push_back(makeSocketScsiAdaptor(std::move(sockets)));
    return std::make_unique<ScsiBus>(std::move(adaptors));
}

class ProfileManagerTest : public testing::Test {
protected:
    TempDir dir;
    SmdiSampler smdi{dir.file("smdi.sock")};
    AkaiS2000Sampler akai{dir.file("akai.sock")};
    FakeMidiBackend midi;
    TMidiInput input{midi, {}};
    TMidiOutput output{midi, {}};
    std::unique_ptr<ScsiBus> bus = socketBus({smdi.path(), dir.file("none.sock"), akai.path()});
    SamplerProfileStore store{dir.file("profiles.samplers")};
    ScriptedDialogs dialogs;
    std::unique_ptr<Tpreform> form;

    void open(int profile = 0) {
        form = std::make_unique<Tpreform>(Tpreform::Ports{input, output, *bus}, store, dialogs, 3);
        form->showManager(profile);
        waitForTargets();
    }
    void waitForTargets() {
        QElapsedTimer timer;
        timer.start();
        while (!form->targetsListed() && timer.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        QApplication::processEvents();
    }
    template <typename W> W* child(const char* name) { return form->findChild<W*>(name); }
    QComboBox* box(const char* name) { return child<QComboBox>(name); }
    void choose(int profile) {
        box("ComboBox1")->setCurrentIndex(profile);
        box("ComboBox1")->activated(profile);
    }
    void storeAs(const QString& name) {
        dialogs.names.push_back(name);
        child<QPushButton>("Button1")->click();
    }
};

TEST_F(ProfileManagerTest, ListsThePortsTheSamplerTypesAndTheSocketTargetsWithTheirMark) {
    open();
    EXPECT_EQ(form->windowTitle(), "Sampler profile manager");
    EXPECT_EQ(itemsOf(box("cmbInput")), (QStringList{"Fake In A", "Fake In B"}));
    EXPECT_EQ(itemsOf(box("cmbOutput")), (QStringList{"Fake Out A", "Fake Out B", "Fake Out C"}));
    ASSERT_EQ(box("ComboBox4")->count(), 6);
    EXPECT_EQ(box("ComboBox4")->itemText(5), "Akai S2000 / S3000XL / S3200XL SCSI");
    EXPECT_EQ(itemsOf(box("cmbHaid")), (QStringList{"ID:0 Socket targets"}));
    const QStringList devices = itemsOf(box("cmbDevice"));
    ASSERT_EQ(devices.size(), 8);
    EXPECT_EQ(devices[0], "ID:0 TOLVANE SMDI SAMPLER 1.0 (*)");
    EXPECT_EQ(devices[1], "ID:1 No Device Found");
    EXPECT_EQ(devices[2], "ID:2 AKAI S2000 2.00 (*)");
    EXPECT_EQ(itemsOf(box("ComboBox1")), (QStringList{"No Presets Stored"}));
    EXPECT_FALSE(child<QPushButton>("Button2")->isEnabled());
    EXPECT_EQ(child<QLineEdit>("Edit3")->text(), "3") << "the channel of the settings";
    EXPECT_EQ(child<QLineEdit>("Edit1")->text(), "0");
    EXPECT_EQ(box("cmbHaid")->toolTip(), "SCSI Host Adaptor");
    EXPECT_FALSE(child<QLineEdit>("Edit2")->isVisible());

    // MIDI SDS: MIDI lists, channel and "Open loop"; no SCSI.
    form->show();
    EXPECT_TRUE(box("cmbInput")->isEnabled() && box("cmbOutput")->isEnabled());
    EXPECT_FALSE(box("cmbHaid")->isEnabled() || box("cmbDevice")->isEnabled());
    EXPECT_TRUE(child<QCheckBox>("CheckBox5")->isVisible());
    // A3000: the output stays usable, the input and channel do not.
    box("ComboBox4")->setCurrentIndex(2);
    EXPECT_FALSE(box("cmbInput")->isEnabled() || child<QLineEdit>("Edit3")->isEnabled());
    EXPECT_TRUE(box("cmbOutput")->isEnabled() && box("cmbHaid")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>("CheckBox5")->isVisible());
    box("ComboBox4")->setCurrentIndex(5);
    EXPECT_FALSE(box("cmbOutput")->isEnabled());
    EXPECT_TRUE(box("cmbDevice")->isEnabled());
    // With a bus that cannot be opened the lists say so and nothing else.
    auto deniedBus = std::make_unique<ScsiBus>(std::vector<std::unique_ptr<ScsiAdaptor>>{});
    Tpreform empty({input, output, *deniedBus}, store, dialogs, 1);
    EXPECT_EQ(itemsOf(empty.findChild<QComboBox*>("cmbHaid")),
              (QStringList{"No host adaptor found"}));
    EXPECT_EQ(itemsOf(empty.findChild<QComboBox*>("cmbDevice")), (QStringList{"No devices found"}));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ProfileManagerTest, StoresOverwritesInPlaceLoadsAndDeletes) {
    open();
    box("ComboBox4")->setCurrentIndex(2); // Yamaha A3000: output and SCSI
    box("cmbOutput")->setCurrentIndex(2);
    box("cmbDevice")->setCurrentIndex(2);
    child<QLineEdit>("Edit1")->setText("-1");
    storeAs("A3000");
    EXPECT_EQ(dialogs.nameCaptions.back(), "Name Profile:");
    EXPECT_EQ(dialogs.namesOffered.back(), "") << "nothing stored yet: an empty name";
    ASSERT_EQ(store.names(), (std::vector<std::string>{"A3000"}));
    EXPECT_EQ(
        store.read("A3000")->toBytes(),
        (std::array<std::uint8_t, 16>{0, 2, 0, 2, 1, 3, 0, 1, 1, 2, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(box("ComboBox1")->currentText(), "A3000");
    EXPECT_TRUE(child<QPushButton>("Button2")->isEnabled());

    box("ComboBox4")->setCurrentIndex(0);
    child<QCheckBox>("CheckBox5")->setChecked(true);
    storeAs("SDS");
    EXPECT_EQ(box("ComboBox1")->currentIndex(), 1);
    // The same name again: overwritten where it was, and selected there.
    choose(0);
    child<QLineEdit>("Edit1")->setText("12");
    storeAs("A3000");
    EXPECT_EQ(dialogs.namesOffered.back(), "A3000");
    EXPECT_EQ(itemsOf(box("ComboBox1")), (QStringList{"A3000", "SDS"}));
    EXPECT_EQ(box("ComboBox1")->currentIndex(), 0);
    EXPECT_EQ(store.read("A3000")->offset, 12);
    EXPECT_EQ(store.read("A3000")->protocol, 2);
    dialogs.names.clear();
    child<QPushButton>("Button1")->click(); // cancelled: nothing stored
    EXPECT_EQ(store.names().size(), 2u);

    // A new window loads the stored ones.
    open(1);
    EXPECT_EQ(box("ComboBox1")->currentText(), "SDS");
    EXPECT_EQ(box("ComboBox4")->currentIndex(), 0);
    EXPECT_TRUE(child<QCheckBox>("CheckBox5")->isChecked());
    choose(0);
    EXPECT_EQ(box("ComboBox4")->currentIndex(), 2);
    EXPECT_EQ(box("cmbOutput")->currentIndex(), 2);
    EXPECT_EQ(box("cmbDevice")->currentIndex(), 2);
    EXPECT_EQ(child<QLineEdit>("Edit1")->text(), "12");
    EXPECT_TRUE(dialogs.shown.empty());

    // Deleting the second selects the one before it and loads it.
    choose(1);
    child<QPushButton>("Button2")->click();
    EXPECT_EQ(itemsOf(box("ComboBox1")), (QStringList{"A3000"}));
    EXPECT_EQ(box("ComboBox4")->currentIndex(), 2);
    child<QPushButton>("Button2")->click();
    EXPECT_EQ(itemsOf(box("ComboBox1")), (QStringList{"No Presets Stored"}));
    child<QPushButton>("Button2")->click(); // nothing to delete
    EXPECT_TRUE(store.names().empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ProfileManagerTest, DevicesThatWentAwayAndDamagedProfilesAreReported) {
    SamplerProfile gone;
    gone.midiInput = 7; // the machine has two inputs now
    gone.midiOutput = 1;
    gone.midiOutputInUse = 1;
    ASSERT_TRUE(store.write("old rig", gone));
    SamplerProfile unselected;
    unselected.protocol = 1;
    unselected.midiInput = SamplerProfile::kNothingSelected;
    unselected.midiOutput = SamplerProfile::kNothingSelected;
    ASSERT_TRUE(store.write("scsi only", unselected));
    std::ofstream(store.file(), std::ios::app) << "00FF broken one\n";

    open(0);
    ASSERT_EQ(dialogs.texts(),
              (QStringList{"Device ID out of range;\r\nCheck settings in preset "
                           "manager - midi or SCSI device may have been removed"}));
    EXPECT_EQ(dialogs.shown.back().kind, MessageKind::Error);
    EXPECT_EQ(box("cmbInput")->currentIndex(), 0);
    EXPECT_EQ(box("cmbOutput")->currentIndex(), 1);
    dialogs.shown.clear();
    choose(1);
    EXPECT_TRUE(dialogs.shown.empty()) << "nothing selected is not a device that went away";
    choose(2);
    ASSERT_EQ(dialogs.texts(), (QStringList{"Error reading preset - may be corrupted!"}));

    // A profile stored with nothing in the lists keeps 255 for them.
    FakeMidiBackend none;
    none.inputNames.clear();
    none.outputNames.clear();
    TMidiInput noInput(none, {});
    TMidiOutput noOutput(none, {});
    Tpreform bare({noInput, noOutput, *bus}, store, dialogs, 1);
    EXPECT_EQ(bare.currentProfile().midiInput, 255);
    EXPECT_EQ(bare.currentProfile().midiOutput, 255);
}

// A host whose devices the user may not open, as /dev/sg* without the group's rights.
class LockedAdaptor : public ScsiAdaptor {
public:
    std::string identifier() const override { return "ahci"; }
    void execute(ScsiRequestBlock& request) override { request.status = ScsiRequestBlock::kError; }
    std::string accessHint() const override {
        return "No permission to open /dev/sg0: the user needs to be in the group \"disk\"";
    }
};

TEST_F(ProfileManagerTest, DevicesThatCannotBeOpenedAreNotFoundWithAHintWhy) {
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    adaptors.push_back(std::make_unique<LockedAdaptor>());
    bus = std::make_unique<ScsiBus>(std::move(adaptors));
    open();
    EXPECT_EQ(itemsOf(box("cmbHaid")), (QStringList{"ID:0 ahci"}));
    EXPECT_EQ(box("cmbDevice")->itemText(0), "ID:0 No Device Found");
    EXPECT_EQ(child<QLabel>("ScsiHint")->text(),
              "No permission to open /dev/sg0: the user needs to be in the group \"disk\"");
    EXPECT_FALSE(child<QLabel>("ScsiHint")->isHidden());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(LoadedWindowTest, ProfileManagerOpensFromItsCommandAndKeepsTheChannelForTheSettings) {
    TempDir samplerDir;
    SmdiSampler smdi(samplerDir.file("smdi.sock"));
    m_form->setSamplerPorts(std::make_unique<FakeMidiBackend>(), socketBus({smdi.path()}));
    m_form->setProfileFile(samplerDir.file("profiles.samplers"));
    QAction* command = action("Transmit1");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->text(), "&Profile Manager");
    EXPECT_EQ(command->shortcut(), QKeySequence("Ctrl+D"));
    EXPECT_TRUE(command->isEnabled());
    QString caption;
    QStringList devices;
    QTimer::singleShot(0, [&] {
        auto* manager = dynamic_cast<Tpreform*>(QApplication::activeModalWidget());
        ASSERT_TRUE(manager);
        caption = manager->windowTitle();
        QElapsedTimer timer;
        timer.start();
        while (!manager->targetsListed() && timer.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        QApplication::processEvents();
        devices = itemsOf(manager->findChild<QComboBox*>("cmbDevice"));
        manager->findChild<UpDown*>("UpDown1")->stepBy(4);
        manager->findChild<UpDown*>("UpDown1")->onClick();
        manager->findChild<QComboBox*>("cmbOutput")->setCurrentIndex(2);
        manager->findChild<QPushButton*>("Button3")->click();
    });
    command->trigger();
    EXPECT_EQ(caption, "Sampler profile manager");
    ASSERT_EQ(devices.size(), 8);
    EXPECT_EQ(devices[0], "ID:0 TOLVANE SMDI SAMPLER 1.0 (*)");
    EXPECT_EQ(m_form->settings().MidiChannel, 5) << "1 from the settings, four steps up";
    EXPECT_EQ(m_form->settings().MinID, 0);
    EXPECT_EQ(m_form->settings().MoutID, 2);
    EXPECT_EQ(m_form->settings().Did, 2);
}

} // namespace
} // namespace tolvane::test
