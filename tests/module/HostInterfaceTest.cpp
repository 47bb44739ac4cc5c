// The plug-in as a host sees it: the module file loaded through its exported
// entry point, the effect record, the dispatcher's answers and the host
// callbacks. Runs natively on the .so and under wine on the DLL.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/PluginHost.h"

namespace {

using valvora::test::PluginHost;

class HostInterface : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.loaded()) << host.loadError();
        ASSERT_NE(host.open(), nullptr);
    }
    PluginHost host{VALVORA_MODULE_PATH};
};

TEST(ModuleEntry, ExportsTheEntryUnderBothNames)
{
    PluginHost host(VALVORA_MODULE_PATH);
    ASSERT_TRUE(host.loaded()) << host.loadError();
    ASSERT_NE(host.entry("VSTPluginMain"), nullptr);
    ASSERT_NE(host.entry("main"), nullptr);
    AEffect* viaMain = host.open(2400, "main");
    ASSERT_NE(viaMain, nullptr);
    EXPECT_EQ(viaMain->magic, kEffectMagic);
}

TEST(ModuleEntry, RefusesAHostThatAnswersZeroToTheVersionQuery)
{
    PluginHost host(VALVORA_MODULE_PATH);
    EXPECT_EQ(host.open(0), nullptr);
    ASSERT_FALSE(host.calls().empty());
    EXPECT_EQ(host.calls().front().opcode, audioMasterVersion);
}

TEST(ModuleEntry, RefusesANullCallback)
{
    PluginHost host(VALVORA_MODULE_PATH);
    EXPECT_EQ(host.entry()(nullptr), nullptr);
}

TEST_F(HostInterface, RecordCarriesTheProductsValues)
{
    const AEffect* e = host.effect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 16);
    EXPECT_EQ(e->numParams, 14);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags & ~effFlagsHasEditor, 4112);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->uniqueID, ('K' << 24) | ('V' << 16) | ('Q' << 8) | 'X');
    EXPECT_EQ(e->version, 1);
    EXPECT_NE(e->object, nullptr);
    ASSERT_NE(e->process, nullptr);
    EXPECT_NE(reinterpret_cast<void*>(e->process), reinterpret_cast<void*>(e->processReplacing));
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    for (char c : e->future) EXPECT_EQ(c, 0);
}

TEST_F(HostInterface, EditorFlagMatchesWhetherAnEditorAnswers)
{
    ERect* rect = nullptr;
    const bool hasEditor = host.dispatch(effEditGetRect, 0, 0, &rect) == 1;
    EXPECT_EQ((host.effect()->flags & effFlagsHasEditor) != 0, hasEditor);
    if (!hasEditor) {
        EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, nullptr), 0);
        EXPECT_EQ(host.dispatch(effEditClose), 0);
        EXPECT_EQ(host.dispatch(effEditIdle), 0);
    }
}

TEST_F(HostInterface, IdentifiesItselfByNameVendorAndVersion)
{
    EXPECT_EQ(host.text(effGetEffectName), "Valvora QX70");
    EXPECT_EQ(host.text(effGetVendorString), "Kelmo");
    EXPECT_EQ(host.text(effGetProductString), "Kelmo Valvora QX70");
    EXPECT_EQ(host.dispatch(effGetEffectName, 0, 0, nullptr), 0);
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effIdentify), 1316373862);
}

TEST_F(HostInterface, FixedStringsFitTheirStandardBuffersExactly)
{
    // Some hosts pass exactly 64 bytes for vendor and product texts.
    std::vector<char> vendor(64 + 16, '#');
    host.dispatch(effGetProductString, 0, 0, vendor.data());
    EXPECT_STREQ(vendor.data(), "Kelmo Valvora QX70");
    for (std::size_t i = std::strlen("Kelmo Valvora QX70") + 1; i < vendor.size(); ++i) EXPECT_EQ(vendor[i], '#');
}

TEST_F(HostInterface, AnswersTheCapabilityQueriesAsAPlainEffect)
{
    char midi[] = "receiveVstMidiEvent";
    char bypass[] = "bypass";
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, midi), 0);
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, bypass), 0);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(host.dispatch(effGetTailSize), 0);
    EXPECT_EQ(host.dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host.dispatch(effSetTotalSampleToProcess, 0, 12345), 12345);
    EXPECT_EQ(host.dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 99), 1);
    EXPECT_EQ(host.dispatch(effString2Parameter, 4, 0, midi), 0);
    EXPECT_EQ(host.dispatch(effGetProgramNameIndexed, 0, -1, midi), 0);
    EXPECT_EQ(host.dispatch(effGetParameterProperties, 0, 0, midi), 0);
    EXPECT_EQ(host.dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_EQ(host.dispatch(effMainsChanged, 0, 0), 0);
}

TEST_F(HostInterface, HasNoChunksSoStateTravelsAsParameters)
{
    void* chunk = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, &chunk), 0);
    EXPECT_EQ(host.dispatch(effSetChunk, 0, 4, &chunk), 0);
    EXPECT_EQ(host.effect()->flags & effFlagsProgramChunks, 0);
}

TEST_F(HostInterface, SpeakerArrangementQueriesAnswerWithNullRecords)
{
    VstSpeakerArrangement* in = reinterpret_cast<VstSpeakerArrangement*>(0x10);
    VstSpeakerArrangement* out = reinterpret_cast<VstSpeakerArrangement*>(0x10);
    EXPECT_EQ(host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
    VstSpeakerArrangement stereo{};
    stereo.numChannels = 2;
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&stereo), &stereo), 1);
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, 0, &stereo), 0);
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&stereo), nullptr), 0);
}

TEST_F(HostInterface, CloseAnswersOne)
{
    EXPECT_EQ(host.close(), 1);
    EXPECT_EQ(host.effect(), nullptr);
}

TEST(HostCallbacks, TheEntryPointAsksOnlyForTheHostVersion)
{
    PluginHost host(VALVORA_MODULE_PATH);
    ASSERT_NE(host.open(), nullptr);
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    float in[64] = {}, out[2][64] = {};
    float* ins[2] = {in, in};
    float* outs[2] = {out[0], out[1]};
    host.process(ins, outs, 64);
    host.setParameter(4, 0.3f);
    host.text(effGetParamDisplay, 4);
    EXPECT_EQ(host.calls().size(), 1u) << "no other callback without a user edit";
}

}  // namespace
