// A careless or hostile host: every opcode from -1 to 100 with null and with
// valid pointers, and the text opcodes with null buffers, must neither crash
// nor corrupt memory (ASan watches the native run).
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/PluginHost.h"

namespace {

using valvora::test::PluginHost;

bool skipped(VstInt32 opcode)
{
    // effClose ends the instance and effEditOpen would need a real parent window.
    return opcode == effClose || opcode == effEditOpen;
}

TEST(HostileHost, EveryOpcodeWithNullPointersAnswersWithoutCrashing)
{
    PluginHost host(VALVORA_MODULE_PATH);
    ASSERT_NE(host.open(), nullptr) << host.loadError();
    for (VstInt32 opcode = -1; opcode <= 100; ++opcode) {
        if (skipped(opcode)) continue;
        // The speaker-arrangement opcodes carry a pointer in `value`: only null is fair there.
        const bool valueIsPointer = opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement;
        for (VstIntPtr value : {VstIntPtr(0), VstIntPtr(-1), VstIntPtr(1) << 40}) {
            if (valueIsPointer && value != 0) continue;
            for (VstInt32 index : {0, -1, 13, 14, 1 << 30}) host.dispatch(opcode, index, value, nullptr, 0.0f);
        }
    }
    EXPECT_EQ(host.close(), 1);
}

TEST(HostileHost, EveryOpcodeWithAValidZeroedBufferAnswersWithoutCrashing)
{
    PluginHost host(VALVORA_MODULE_PATH);
    ASSERT_NE(host.open(), nullptr);
    // Big enough for any record the standard passes, and aligned for pointers.
    std::vector<VstIntPtr> buffer(1024, 0);
    std::vector<VstIntPtr> valueBuffer(1024, 0);
    for (VstInt32 opcode = -1; opcode <= 100; ++opcode) {
        if (skipped(opcode)) continue;
        for (VstInt32 index : {0, 5, 14, -1}) {
            std::fill(buffer.begin(), buffer.end(), 0);
            std::fill(valueBuffer.begin(), valueBuffer.end(), 0);
            const VstIntPtr value = opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement
                                        ? reinterpret_cast<VstIntPtr>(valueBuffer.data())
                                        : 0;
            host.dispatch(opcode, index, value, buffer.data(), 44100.0f);
        }
    }
    // Still fully working afterwards.
    EXPECT_EQ(host.text(effGetEffectName), "Valvora QX70");
    float in[32] = {}, out0[32], out1[32];
    float* ins[2] = {in, in};
    float* outs[2] = {out0, out1};
    host.process(ins, outs, 32);
    EXPECT_EQ(host.close(), 1);
}

TEST(HostileHost, ManyInstancesOpenAndCloseCleanly)
{
    PluginHost host(VALVORA_MODULE_PATH);
    for (int i = 0; i < 20; ++i) {
        ASSERT_NE(host.open(), nullptr);
        float in[64] = {}, out0[64], out1[64];
        float* ins[2] = {in, in};
        float* outs[2] = {out0, out1};
        host.process(ins, outs, 64);
        EXPECT_EQ(host.close(), 1);
    }
}

}  // namespace
