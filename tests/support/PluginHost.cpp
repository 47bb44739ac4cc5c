#include "tests/support/PluginHost.h"

#include <atomic>

namespace valvora::test {

namespace {
// The entry point calls back before any record exists (effect == null); the
// host being opened answers those calls.
std::atomic<PluginHost*> hostBeingOpened{nullptr};
}  // namespace

PluginHost::PluginHost(const char* modulePath) { module_.open(modulePath); }

PluginHost::~PluginHost() { close(); }

PluginHost::EntryPoint PluginHost::entry(const char* name) const
{
    return reinterpret_cast<EntryPoint>(module_.symbol(name));
}

AEffect* PluginHost::open(VstIntPtr version, const char* entryName)
{
    close();
    EntryPoint main = entry(entryName);
    if (!main) return nullptr;
    versionAnswer_ = version;
    hostBeingOpened.store(this);
    effect_ = main(&PluginHost::callback);
    hostBeingOpened.store(nullptr);
    if (effect_) effect_->user = this;
    return effect_;
}

VstIntPtr PluginHost::close()
{
    if (!effect_) return 0;
    const VstIntPtr result = effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    effect_ = nullptr;
    return result;
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::text(VstInt32 opcode, VstInt32 index, std::size_t bufferSize)
{
    std::string buffer(bufferSize, '\x7f');
    dispatch(opcode, index, 0, buffer.data());
    const auto end = buffer.find('\0');
    return end == std::string::npos ? buffer : buffer.substr(0, end);
}

std::vector<HostCall> PluginHost::calls() const
{
    std::lock_guard<std::mutex> hold(callsLock_);
    return calls_;
}

void PluginHost::clearCalls()
{
    std::lock_guard<std::mutex> hold(callsLock_);
    calls_.clear();
}

VstIntPtr VSTCALLBACK PluginHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void*, float opt)
{
    PluginHost* host = effect && effect->user ? static_cast<PluginHost*>(effect->user) : hostBeingOpened.load();
    if (!host) return 0;
    {
        std::lock_guard<std::mutex> hold(host->callsLock_);
        host->calls_.push_back({opcode, index, value, opt});
    }
    return opcode == audioMasterVersion ? host->versionAnswer_ : 0;
}

}  // namespace valvora::test
