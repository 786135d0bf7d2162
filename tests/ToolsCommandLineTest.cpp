// The tools' command lines, run as built: --help answers on standard output with exit code 0;
// a missing mode, an unknown option or a missing required option ends with a non-zero exit
// code and a message on standard error that names the fault.
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
constexpr int kTimeoutMs = 60000;

struct Call
{
    const char* program;
    QStringList arguments;
    bool succeeds;
    const char* message;  // expected in standard output on success, else in standard error
};

class ToolsCommandLineTest : public ::testing::TestWithParam<Call>
{
};
}  // namespace

TEST_P(ToolsCommandLineTest, ExitCodeAndMessage)
{
    const Call& call = GetParam();
    SCOPED_TRACE(QString("%1 %2").arg(QFileInfo(call.program).fileName(), call.arguments.join(' ')).toStdString());
    // Run in an empty folder, so that a tool that wrongly went ahead would find no data.
    QTemporaryDir folder;
    QProcess tool;
    tool.setWorkingDirectory(folder.path());
    tool.start(call.program, call.arguments);
    ASSERT_TRUE(tool.waitForFinished(kTimeoutMs));
    ASSERT_EQ(tool.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    if (call.succeeds) {
        EXPECT_EQ(tool.exitCode(), 0) << err.toStdString();
        EXPECT_TRUE(out.contains(call.message)) << out.toStdString();
    } else {
        EXPECT_NE(tool.exitCode(), 0);
        EXPECT_TRUE(err.contains(call.message)) << err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolsCommandLineTest,
    ::testing::Values(
        Call{VISAGIO_FACEDATA_PREP, {"--help"}, true, "usage: facedata-prep"},
        Call{VISAGIO_FACEDATA_PREP, {}, false, "usage: facedata-prep"},
        Call{VISAGIO_FACEDATA_PREP, {"samples", "--frobnicate", "1"}, false, "unknown option --frobnicate"},
        Call{VISAGIO_FACEDATA_PREP, {"samples", "--out", "x.samples"}, false, "--set is required"},
        Call{VISAGIO_FACEDATA_PREP, {"shuffle"}, false, "unknown mode: shuffle"},
        Call{VISAGIO_GRBM_TRAIN, {"--help"}, true, "usage: grbm-train"},
        Call{VISAGIO_GRBM_TRAIN, {}, false, "usage: grbm-train"},
        Call{VISAGIO_GRBM_TRAIN, {"train", "--frobnicate", "1"}, false, "unknown option --frobnicate"},
        Call{VISAGIO_GRBM_TRAIN, {"train", "--calibration-sequences", "s", "--calibration-photos", "p"}, false,
             "--train is required"},
        Call{VISAGIO_GRBM_TRAIN, {"evaluate", "--photos", "p"}, false, "--model is required"},
        Call{VISAGIO_VISAGIO_EVAL, {"--help"}, true, "usage: visagio-eval"},
        Call{VISAGIO_VISAGIO_EVAL, {"--frobnicate", "1"}, false, "unknown option --frobnicate"},
        Call{VISAGIO_VISAGIO_EVAL, {"--set"}, false, "missing value for --set"},
        Call{VISAGIO_VISAGIO_EVAL, {"--set", "no-such-set"}, false, "unknown face set: no-such-set"}));
