#pragma once
// Console streams unbuffered, so every line shows at once, whatever the job.
void initConsole();
