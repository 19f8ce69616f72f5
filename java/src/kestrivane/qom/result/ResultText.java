package kestrivane.qom.result;

/** How the result classes' toString shows texts: in quotes, so that an empty text is seen. */
final class ResultText {
    private ResultText() {}

    static String quoted(String text) {
        return text == null ? "null" : "\"" + text + "\"";
    }

    static String quotedList(String[] texts) {
        if (texts == null) {
            return "null";
        }
        StringBuilder list = new StringBuilder("[");
        for (int i = 0; i < texts.length; i++) {
            list.append(i == 0 ? "" : ", ").append(quoted(texts[i]));
        }
        return list.append("]").toString();
    }
}
