// SPDX-License-Identifier: MIT
#include "ConsoleDisplayArea.h"
#include "EventLoopWait.h"
#include "FirmwareGuestFolder.h"
#include "GuestDisplayWidget.h"
#include "HostProfile.h"
#include "QemuVirtualMachine.h"
#include "TaskRunner.h"

#include <QSet>

#include <gtest/gtest.h>

/*
 * A real QEMU with the AArch64 EFI firmware, a virtio GPU and no guest
 * system: the firmware draws its boot screen, which the console must show.
 */
namespace {

using namespace std::chrono_literals;
using EventLoopWait::waitUntil;

/// Whether the image holds more than one colour (a uniform image is no frame of the firmware).
bool hasSeveralColours(const QImage &image)
{
    if (image.isNull())
        return false;
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            if (colours.size() < 2)
                colours.insert(image.pixel(x, y));
    return colours.size() > 1;
}

class GuestDisplayQemuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto missing = FirmwareGuestFolder::missingTools(m_profile))
            GTEST_SKIP() << *missing;
        ASSERT_TRUE(m_folder.prepare(m_profile, qint64(1) << 30));
    }

    /// Firmware only, with a display, a keyboard and a tablet.
    VirtualMachineConfiguration configuration() const
    {
        VirtualMachineConfiguration configuration;
        configuration.bootLoader = EFIBootLoader { EFIVariableStore(m_folder.variableStore()) };
        configuration.cpuCount = 1;
        configuration.memorySize = quint64(512) << 20;
        configuration.storageDevices << StorageDeviceConfiguration { StorageDeviceConfiguration::Kind::virtioBlock,
            { m_folder.disk() } };
        configuration.graphicsDevices << GraphicsDeviceConfiguration { GraphicsDeviceConfiguration::Kind::virtio,
            { GraphicsDisplayConfiguration { 1024, 768, {} } } };
        configuration.keyboards << KeyboardConfiguration {};
        configuration.pointingDevices << PointingDeviceConfiguration {};
        return configuration;
    }

    HostProfile m_profile = HostProfile::detect();
    FirmwareGuestFolder m_folder;
};

TEST_F(GuestDisplayQemuTest, TheConsoleShowsTheFirmwaresScreen)
{
    QemuVirtualMachine machine(configuration(), m_profile, m_folder.bundle(QStringLiteral("Logs")));
    ConsoleDisplayArea area;
    area.resize(1100, 800);
    area.show();
    QStringList failures;
    QObject::connect(&area, &ConsoleDisplayArea::displayFailed, [&](const QString &message) { failures << message; });

    // Attached while the machine is still being made, as a console is when the VM starts.
    area.follow(ConsoleDisplayLink::attach, [&machine] { return machine.displaySocketPath(); });
    TaskRunner::run(machine.start(), 60s);
    ASSERT_TRUE(waitUntil([&] { return area.connection().status() == GuestDisplayConnection::Status::connected; }, 20s))
        << failures.join(u'\n').toStdString();
    // Until the firmware sets up the GPU, QEMU shows a 640x480 text screen of its own. The firmware then takes a mode:
    // the configured one, or the console's size, which the widget asks for once it can.
    const auto firmwareFrame = [&] {
        const QImage &frame = area.connection().framebuffer();
        return frame.size() != QSize(640, 480) && hasSeveralColours(frame);
    };
    const bool drawn = waitUntil(firmwareFrame, 120s);
    if (qEnvironmentVariableIsSet("ZOVOZU_FIRMWARE_FRAME"))
        area.connection().framebuffer().save(qEnvironmentVariable("ZOVOZU_FIRMWARE_FRAME"));
    EXPECT_TRUE(drawn) << "the firmware drew nothing; the frame is " << area.connection().framebuffer().width() << "x"
                       << area.connection().framebuffer().height();
    EXPECT_TRUE(hasSeveralColours(area.display()->grab().toImage())) << "the widget paints the frame";
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();

    TaskRunner::run(machine.stop());
    area.follow(ConsoleDisplayLink::detach, {});
    EXPECT_EQ(area.connection().status(), GuestDisplayConnection::Status::closed);
}

} // namespace
