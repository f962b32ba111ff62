#pragma once

// The application object: runs the main dialog; when it ends, the program ends.
class CVornApp {
public:
    // Returns false: the program ends when the dialog does.
    bool InitInstance();
};
