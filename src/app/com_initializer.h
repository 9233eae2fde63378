#pragma once

// Keeps the calling thread in the multithreaded COM apartment for its
// lifetime. Throws com_exception when COM refuses.
class com_initializer {
public:
    com_initializer();
    ~com_initializer();

    com_initializer(const com_initializer&) = delete;
    com_initializer& operator=(const com_initializer&) = delete;

private:
    bool initialized_ = false;
};
