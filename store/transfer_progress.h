#pragma once

#include <cstddef>

// How far an export or import has come, for whoever shows it. An import
// reads its file's events twice (first checking the file whole, then
// planning each event) before it files appointments; an export reads the
// store's appointments, then writes the file.
struct TransferCounts {
    std::size_t events = 0;            // events read in this reading of the file
    std::size_t eventsInFile = 0;      // known once the file is checked; 0 before
    std::size_t appointments = 0;      // filed (import), or read from the store (export)
    std::size_t appointmentsTotal = 0; // to be filed, once planned; 0 before and on export
};

// What a transfer reports as it goes, and how it is asked to stop; the
// window implements it, so that the store knows no window. Both are called
// on the thread that runs the transfer, after each event or appointment:
// they must be cheap.
class ITransferProgress {
public:
    virtual void Report(const TransferCounts& counts) = 0;
    // True stops the transfer before the next event or appointment.
    virtual bool StopRequested() = 0;

protected:
    ~ITransferProgress() = default;
};
