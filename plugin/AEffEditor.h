#pragma once
// The editor interface of the standard: a window the host embeds. The base
// class answers every operation as "not handled"; the product's editor
// overrides what it needs. Host window thread only.

#include "plugin/vst24.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect = nullptr) : effect(effect) {}
    virtual ~AEffEditor() = default;

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(ERect** rect)
    {
        *rect = nullptr;
        return false;
    }
    virtual bool open(void* ptr)
    {
        systemWindow = ptr;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& keyCode)
    {
        (void)keyCode;
        return false;
    }
    virtual bool onKeyUp(VstKeyCode& keyCode)
    {
        (void)keyCode;
        return false;
    }
    virtual bool onWheel(float distance)
    {
        (void)distance;
        return false;
    }
    virtual bool setKnobMode(VstInt32 val)
    {
        (void)val;
        return false;
    }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
