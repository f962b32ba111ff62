#pragma once

// The application object: runs the main dialog; when it ends, the program ends.
class CVornApp {
public:
    // Returns false: the program ends when the dialog does.
    bool InitInstance();

    // What the dialog's modal run returned: the exit code of an auto-start run.
    int m_exitCode = 0;
};
